#pragma once

#include "files/outcome.h"
#include "link/register_exchange.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace zef {

// The registers of a settings file, one per line in this order. Register 34 stands between 29
// and 30, as in every file already written.
inline constexpr std::array<std::uint8_t, 31> kSettingsRegisters = {
    0,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 17, 18,
    19, 20, 21, 23, 24, 25, 26, 28, 29, 34, 30, 31, 32, 71, 73};

// Texts of the load and save commands.
inline constexpr char kSettingsFilter[] = "Установки ZEF (*.zef)";
inline constexpr char kSettingsExtension[] = ".zef";
inline constexpr char kNoSuchFileText[] = "Такого файла нет!";
inline constexpr char kReplaceFileQuestion[] = "Такой файл существует! Заменить?";
inline constexpr char kPlainCaption[] = "ZEF-K7LX system";

// The values of the first registers of kSettingsRegisters, as many as the file holds.
using SettingsValues = std::vector<std::uint16_t>;

// The file text: unsigned decimal values, each followed by CR LF.
[[nodiscard]] QByteArray FormatSettings(const SettingsValues& values);

// A settings file holds short lines; a longer one is no settings file, and reading on through
// it could take all of memory.
inline constexpr qsizetype kLongestSettingsLine = 4096;

// Reads the values from device, stopping after the 31st: nothing after it is read. Blank lines
// are skipped, the text after a number and a space or control character is ignored, and Ctrl-Z
// or the end of the file ends the values (so a short file gives fewer values). Every value
// present must be a whole number from 0 to 65535, and no line read may be longer than
// kLongestSettingsLine bytes; the failure names the line.
[[nodiscard]] Expected<SettingsValues> ParseSettings(QIODevice& device);
[[nodiscard]] Expected<SettingsValues> ParseSettings(const QByteArray& text);

// Reads the 31 registers in file order. Every read must be answered: the reply record would
// otherwise hand over another register's word as this one's. The failure names the register.
[[nodiscard]] Expected<SettingsValues> ReadSettings(RegisterExchange& link);
// The words a verified burst has read already, by register.
using KnownWords = std::map<std::uint8_t, std::uint16_t>;
// The same, reading only the registers whose words are not known yet.
[[nodiscard]] Expected<SettingsValues> ReadSettings(RegisterExchange& link,
                                                    const KnownWords& known);

// Reads the 31 registers, then writes the file whole or not at all: an existing file keeps its
// content when anything fails, a full disk included. A read without a reply writes no file.
[[nodiscard]] Status SaveSettings(RegisterExchange& link, const QString& path);

// The two halves of SaveSettings, for a caller that tells a silent controller from a disk that
// refused: the message when the controller's values could not be read, and the file written
// whole or not at all.
[[nodiscard]] QString SettingsNotReadText(const QString& reason, const QString& path);
[[nodiscard]] Status WriteSettingsFile(const QString& path, const SettingsValues& values);

// Opens a settings file and checks its values whole; the failure names the file.
[[nodiscard]] Expected<SettingsValues> ReadSettingsFile(const QString& path);

struct LoadReport {
    int written = 0;      // registers the file held values for
    int unanswered = 0;   // writes of them that got no reply
    bool verified = true; // no stray byte came on the line during the writes or after them
    [[nodiscard]] int Answered() const { return written - unanswered; }
};

// A register that read back otherwise than written; no `held` when the read got no reply.
struct DifferingRegister {
    std::uint8_t address = 0;
    std::uint16_t written = 0;
    std::optional<std::uint16_t> held;
    bool operator==(const DifferingRegister&) const = default;
};

// Reads back, in one burst, the registers values were written to, and lists each that holds
// something else. A read without a reply ends the burst: it and every later register are
// listed with no value held.
[[nodiscard]] std::vector<DifferingRegister> ReadBack(RegisterExchange& link,
                                                      const SettingsValues& values);

// One line per differing register, for the user.
[[nodiscard]] QString DifferingRegistersText(const std::vector<DifferingRegister>& differing);

// A file of fewer values than registers: loaded, the rest of the registers keep theirs.
[[nodiscard]] QString ShortFileText(int values);

// Writes the values to the first registers of kSettingsRegisters, in order.
[[nodiscard]] LoadReport WriteSettings(RegisterExchange& link, const SettingsValues& values);

// Reads and checks the file's values, then writes them in order. A file that cannot be read or
// holds a bad value writes nothing.
[[nodiscard]] Expected<LoadReport> LoadSettings(RegisterExchange& link, const QString& path);

// What to tell the user after a load whose writes were not all answered; empty otherwise.
[[nodiscard]] QString UnansweredWritesText(const LoadReport& report);

// The save dialog's choice with the extension the load dialog looks for.
[[nodiscard]] QString WithSettingsExtension(const QString& path);

// "ZEF-K7LX system (golf.zef)": the window caption while the controller matches that file.
[[nodiscard]] QString CaptionWithFile(const QString& path);

} // namespace zef
