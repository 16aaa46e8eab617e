#pragma once

// The arithmetic and text handling of the bound value controls, kept apart from the widgets so
// that it can be checked without a window.

#include "link/param_value.h"

#include <QRect>
#include <QString>

#include <optional>

namespace zef {

// Values this close to zero are taken as zero: a value stepped away from 0 and back again
// leaves a binary remainder of about 1e-20, which would otherwise be held and written as a
// tiny non-zero.
inline constexpr ParamValue kZeroSnap = 1e-10L;

// The value an edit control holds after being given `x`: first the upper limit (a value that
// cannot be compared, NaN, counts as above it), then the lower one, so with min > max every
// value becomes `min`; then the zero snap.
[[nodiscard]] ParamValue LimitValue(ParamValue x, ParamValue min, ParamValue max);

// Reads a number out of what the user left in an edit box. Leading text is skipped, a space
// ends the number, and stray characters inside it are dropped, so the control's own text
// " 4.50 Volt" reads back as 4.5. Both "." and "," are taken as the decimal mark, because the
// window is Russian and fitters type a comma. Returns nothing when no number can be made of it.
[[nodiscard]] std::optional<ParamValue> ParseValueText(const QString& text);

// What an edit control shows for `value`.
[[nodiscard]] QString EditText(const QString& pattern, ParamValue value);

// What a read-out shows: the caption and the formatted value, each set off by a space.
[[nodiscard]] QString ReadoutText(const QString& caption, const QString& pattern, ParamValue value);

// The font of a bound control follows its height. Nothing for a height too small to give a
// font at all.
[[nodiscard]] std::optional<int> FontPointsForHeight(int heightPx);

// The top of a line of text, relative to the top of an area, that puts the ink of the line
// (from the top of the capitals to the bottom of the descenders) in the middle of the area.
// The font that follows the height is taller, line box and all, than the room inside a
// bordered box; centring the line box, as Qt does, cuts the descenders off.
[[nodiscard]] int InkCentredLineTop(int areaHeight, int ascent, int capHeight, int descent);

// The top text margin that makes a line edit, which centres its line box in what the margins
// leave of `areaHeight`, put the line's top at `wantTop`.
[[nodiscard]] int LineEditTopMargin(int areaHeight, int lineHeight, int wantTop);

// Where the spin button sits inside its edit: at the right edge, never narrower than
// kSpinMinWidth.
inline constexpr int kSpinMinWidth = 15;
[[nodiscard]] QRect LayOutSpinButton(int editWidth, int editHeight);

// The two halves inside a spin button of `size`.
struct SpinHalves {
    QRect up;
    QRect down;
};
[[nodiscard]] SpinHalves SplitSpinButton(QSize size);

} // namespace zef
