#pragma once

#include <array>
#include <cstdint>

namespace zef {

// The injection-time map: seven points over engine speed, each stored in microseconds in its
// own parameter. From 1000 rpm on a point reads back through a live register; the 500 rpm point
// reads as its parameter.
struct MapPoint {
    int speed;                 // rpm
    std::uint8_t parameter;    // ReadParam / WriteParam
    std::uint8_t liveRegister; // ReadLive; 0 where the parameter itself is read
};

inline constexpr std::array<MapPoint, 7> kMapPoints = {{
    {500, 7, 0},
    {1000, 8, 234},
    {1500, 9, 238},
    {2000, 10, 242},
    {3000, 11, 246},
    {4000, 12, 250},
    {6000, 13, 254},
}};

} // namespace zef
