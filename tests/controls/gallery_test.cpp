#include "control_probe.h"

#include "controls/bound_value.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "controls/gallery.h"

#include <QStyle>
#include <QStyleOptionFrame>

#include <gtest/gtest.h>

using namespace zef;
using namespace zef::test;

namespace {

// Reaches the style option that the line edit paints with.
struct EditProbe : TExtEdit {
    static QRect Inside(TExtEdit& edit) {
        QStyleOptionFrame option;
        static_cast<EditProbe&>(edit).initStyleOption(&option);
        return edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
    }
};

// The font follows the height and is tall for the box: every text of the window must still
// show whole, descenders included, inside the border.
TEST(controls_gallery, every_text_shows_whole_inside_its_border) {
    ControlsGallery gallery;
    gallery.Registry().InitAll();
    ShowWindow(gallery);
    for (TExtEdit* edit : gallery.Edits()) {
        SCOPED_TRACE(edit->text().toStdString());
        EXPECT_EQ(edit->text(), EditText(edit->ValueFormat(), edit->Value()));
        const QRect inside = EditProbe::Inside(*edit);
        const QRect lineArea = inside.marginsRemoved(edit->textMargins());
        const QFontMetrics metrics(edit->font());
        // The line edit centres its line box in what the margins leave.
        const int baseline =
            lineArea.top() + (lineArea.height() - metrics.height() + 1) / 2 + metrics.ascent();
        const QRect ink = metrics.tightBoundingRect(edit->text()).translated(0, baseline);
        EXPECT_GE(ink.top(), inside.top());
        EXPECT_LE(ink.bottom(), inside.bottom());
        EXPECT_LE(metrics.horizontalAdvance(edit->text()), lineArea.width() - 4);
    }
    for (TExtText* readout : gallery.Readouts()) {
        SCOPED_TRACE(readout->text().toStdString());
        EXPECT_EQ(readout->text(),
                  ReadoutText(readout->ValueCaption(), readout->ValueFormat(), readout->Value()));
        const QRect inside = readout->contentsRect();
        const QFontMetrics metrics(readout->font());
        const int baseline = inside.top() +
                             InkCentredLineTop(inside.height(), metrics.ascent(),
                                               metrics.capHeight(), metrics.descent()) +
                             metrics.ascent();
        const QRect ink = metrics.tightBoundingRect(readout->text()).translated(0, baseline);
        EXPECT_GE(ink.top(), inside.top());
        EXPECT_LE(ink.bottom(), inside.bottom());
        EXPECT_LE(metrics.horizontalAdvance(readout->text()), inside.width());
    }
}

} // namespace
