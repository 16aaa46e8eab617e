#include "control_probe.h"

#include "controls/control_registry.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zef;
using namespace zef::test;

namespace {

// Two controls of each class, created in an order unlike the one they are registered in, so
// that a walk in Qt's child order would show.
struct Owner {
    Owner() {
        textB = new TExtText(&window);
        spinB = new TSpinExtEdit(&window);
        plainB = new TExtEdit(&window);
        textA = new TExtText(&window);
        plainA = new TExtEdit(&window);
        spinA = new TSpinExtEdit(&window);
        for (QWidget* control :
             std::initializer_list<QWidget*>{spinA, textA, plainA, spinB, textB, plainB})
            registry.Register(control);
        const auto record = [this](QWidget* sender, std::int32_t, std::int32_t, ParamValue&) {
            visited.push_back(sender);
        };
        for (TExtEdit* edit :
             {static_cast<TExtEdit*>(spinA), plainA, static_cast<TExtEdit*>(spinB), plainB})
            edit->onInit = record;
        for (TExtText* text : {textA, textB})
            text->onQuery = record;
    }

    [[nodiscard]] std::vector<QWidget*> Disabled() const {
        std::vector<QWidget*> out;
        for (QWidget* control : registry.Components()) {
            if (!control->isEnabled())
                out.push_back(control);
        }
        return out;
    }

    QWidget window;
    ControlRegistry registry;
    TSpinExtEdit* spinA;
    TSpinExtEdit* spinB;
    TExtEdit* plainA;
    TExtEdit* plainB;
    TExtText* textA;
    TExtText* textB;
    std::vector<QWidget*> visited;
};

TEST(controls_registry, initialise_all_takes_spin_edits_then_readouts_in_registered_order) {
    Owner o;
    o.registry.InitAll();
    EXPECT_EQ(o.visited, (std::vector<QWidget*>{o.spinA, o.spinB, o.textA, o.textB}));
}

TEST(controls_registry, make_all_passive_takes_the_same_controls) {
    Owner o;
    o.registry.PassAll();
    EXPECT_EQ(o.Disabled(), (std::vector<QWidget*>{o.spinA, o.textA, o.spinB, o.textB}));
}

// Each class walk visits its own class only: not a derived one, not a base.
TEST(controls_registry, class_walks_match_the_exact_class) {
    struct Case {
        const char* what;
        std::function<void(const ControlRegistry&)> init;
        std::function<void(const ControlRegistry&)> pass;
        std::function<std::vector<QWidget*>(const Owner&)> expected;
    };
    const Case cases[] = {
        {"TExtEdit", TExtEdit::InitAll, TExtEdit::PassAll,
         [](const Owner& o) {
             return std::vector<QWidget*>{o.plainA, o.plainB};
         }},
        {"TSpinExtEdit", TSpinExtEdit::InitAll, TSpinExtEdit::PassAll,
         [](const Owner& o) {
             return std::vector<QWidget*>{o.spinA, o.spinB};
         }},
        {"TExtText", TExtText::InitAll, TExtText::PassAll,
         [](const Owner& o) {
             return std::vector<QWidget*>{o.textA, o.textB};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Owner o;
        c.init(o.registry);
        EXPECT_EQ(o.visited, c.expected(o));
        c.pass(o.registry);
        EXPECT_EQ(o.Disabled(), c.expected(o));
    }
}

TEST(controls_registry, visits_each_live_control_once) {
    Owner o;
    o.registry.Register(o.spinA);
    o.registry.Register(nullptr);
    delete o.spinB;
    o.registry.InitAll();
    EXPECT_EQ(o.visited, (std::vector<QWidget*>{o.spinA, o.textA, o.textB}));
}

// A handler may destroy a control that the walk has yet to reach.
TEST(controls_registry, control_destroyed_during_a_walk_is_skipped) {
    Owner o;
    o.spinA->onInit = [&](QWidget* sender, std::int32_t, std::int32_t, ParamValue&) {
        o.visited.push_back(sender);
        delete o.spinB;
    };
    o.registry.InitAll();
    EXPECT_EQ(o.visited, (std::vector<QWidget*>{o.spinA, o.textA, o.textB}));
}

} // namespace
