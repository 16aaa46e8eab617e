#include "params/reader.h"
#include "support/sim_ports.h"

#include "rows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

using namespace zef;
using namespace std::chrono_literals;

namespace {

Frame Request(Command command, std::uint8_t address, std::uint16_t value = 0) {
    return BuildRequest(command, address, value);
}

using test::Edit;
using test::Readout;

bool EndsWith(std::optional<std::string_view> pattern, std::string_view word) {
    return pattern && pattern->ends_with(word);
}

class params_reader : public ::testing::Test {
protected:
    static constexpr auto kStep = 10ms; // keeps the silent cases short

    void SetUp() override { ASSERT_TRUE(channel.Open(1, 19200)); }

    void SetParam(std::uint8_t address, std::uint16_t value) {
        ports.sim->WithModel([&](auto& m) {
            m.SetParam(address, value);
            return 0;
        });
    }
    std::uint16_t Param(std::uint8_t address) {
        return ports.sim->WithModel([&](auto& m) { return m.Param(address); });
    }

    // One connection's initialisation as the window runs it: every edit, then every read-out,
    // each with the value it shows, and the oxygen buttons following the flag.
    void Initialise(OxygenSensor& oxygen) {
        for (const EditRow& row : EditRows())
            (void)InitEdit(link, row, row.Value);
        for (const ReadoutRow& row : ReadoutRows()) {
            const ReadoutQuery q = QueryReadout(link, row, row.Value);
            if (!q.oxygenFlag)
                continue;
            const OxygenOutcome o =
                FollowOxygenFlag(oxygen, q.oxygenFlag->succeeded, q.oxygenFlag->word);
            if (o.write)
                WriteOxygenSelection(link, o.selection);
            oxygen = o.selection;
        }
    }

    test::SimPorts ports;
    SerialChannel channel{ports, kStep};
    RegisterExchange link{channel};
};

TEST_F(params_reader, initialisation_reads_in_window_order_and_writes_the_flag_once) {
    const std::vector<Frame> reads = {
        Request(Command::ReadParam, 5),  Request(Command::ReadParam, 19),
        Request(Command::ReadParam, 4),  Request(Command::ReadParam, 3),
        Request(Command::ReadParam, 0),  Request(Command::ReadParam, 71),
        Request(Command::ReadParam, 20), Request(Command::ReadParam, 25),
        Request(Command::ReadParam, 25), Request(Command::ReadParam, 28),
        Request(Command::ReadParam, 21), Request(Command::ReadParam, 25),
        Request(Command::ReadParam, 73), Request(Command::ReadParam, 23),
        Request(Command::ReadParam, 24), Request(Command::ReadParam, 6),
        Request(Command::ReadParam, 68), Request(Command::ReadParam, 31),
        Request(Command::ReadParam, 30), Request(Command::ReadLive, 166),
        Request(Command::ReadLive, 192), Request(Command::ReadLive, 196),
        Request(Command::ReadLive, 198), Request(Command::ReadLive, 178),
        Request(Command::ReadLive, 72),  Request(Command::ReadLive, 162),
        Request(Command::ReadParam, 15),
    };
    const Frame lastRead = Request(Command::ReadLive, 164);
    SetParam(15, 1);

    OxygenSensor oxygen = OxygenSensor::Unselected;
    Initialise(oxygen);
    auto first = reads;
    first.push_back(Request(Command::WriteParam, 15, 1)); // nothing was selected before
    first.push_back(lastRead);
    EXPECT_EQ(ports.sim->Frames(), first);
    EXPECT_EQ(oxygen, OxygenSensor::Present);

    // A second connection to the same controller finds the button already selected.
    ports.sim->ClearFrames();
    Initialise(oxygen);
    auto second = reads;
    second.push_back(lastRead);
    EXPECT_EQ(ports.sim->Frames(), second);
}

// Reading a row and writing the shown value back must address one register, so a row wired to
// the wrong register or scale shows up as a changed controller.
TEST_F(params_reader, each_edit_writes_back_what_it_read_to_the_same_register) {
    for (const EditRow& row : EditRows()) {
        if (!row.address)
            continue;
        const std::uint16_t stored = RawFromShown(row.conversion, row.ValueMax);
        SetParam(*row.address, stored);
        const EditInit init = InitEdit(link, row, row.Value);
        EXPECT_NEAR(static_cast<double>(init.value), static_cast<double>(row.ValueMax),
                    static_cast<double>(row.ValueStep) / 2)
            << row.control;
        SetParam(*row.address, 0);
        (void)ChangeEdit(link, row, init.value);
        EXPECT_EQ(Param(*row.address), stored) << row.control;
    }
}

TEST_F(params_reader, edits_without_handlers_touch_nothing) {
    for (const EditRow& row : EditRows()) {
        if (row.handling != Handling::None)
            continue;
        ports.sim->ClearFrames();
        EXPECT_EQ(InitEdit(link, row, 7).value, 7) << row.control;
        EXPECT_FALSE(ChangeEdit(link, row, 9).has_value()) << row.control;
        EXPECT_TRUE(ports.sim->Frames().empty()) << row.control;
    }
}

TEST_F(params_reader, coil_count_shows_one_more_than_stored_with_its_unit_word) {
    struct Case {
        std::uint16_t stored;
        ParamValue shown;
        std::string_view word;
    };
    const Case cases[] = {{0, 1, "катушка"}, {1, 2, "катушки"}, {5, 6, "катушки"}};
    for (const auto& c : cases) {
        SetParam(5, c.stored);
        const EditInit init = InitEdit(link, Edit("SpinExtEdit9"), 1);
        EXPECT_EQ(init.value, c.shown) << c.stored;
        EXPECT_TRUE(EndsWith(init.ValueFormat, c.word)) << c.stored;
    }
}

TEST_F(params_reader, choosing_a_coil_count_writes_it_less_one_and_sets_the_word) {
    struct Case {
        ParamValue chosen;
        std::uint16_t written;
        std::string_view word;
    };
    const Case cases[] = {{2, 1, "катушки"}, {1, 0, "катушка"}};
    for (const auto& c : cases) {
        const auto pattern = ChangeEdit(link, Edit("SpinExtEdit9"), c.chosen);
        EXPECT_EQ(Param(5), c.written);
        EXPECT_TRUE(EndsWith(pattern, c.word)) << static_cast<double>(c.chosen);
    }
}

TEST_F(params_reader, cylinder_count_switches_its_word_at_five_both_ways) {
    const EditRow& cylinders = Edit("SpinExtEdit2");
    struct Case {
        std::uint16_t stored;
        std::string_view word;
    };
    for (const Case c : {Case{4, "цилиндра"}, Case{5, "цилиндров"}}) {
        SetParam(71, c.stored);
        const EditInit init = InitEdit(link, cylinders, cylinders.Value);
        EXPECT_EQ(init.value, c.stored);
        EXPECT_TRUE(EndsWith(init.ValueFormat, c.word)) << c.stored;
    }
    EXPECT_TRUE(EndsWith(ChangeEdit(link, cylinders, 5), "цилиндров"));
    EXPECT_EQ(Param(71), 5);
    EXPECT_TRUE(EndsWith(ChangeEdit(link, cylinders, 4), "цилиндра"));
    EXPECT_EQ(Param(71), 4);
}

TEST_F(params_reader, failed_first_cylinder_read_keeps_the_design_value_in_the_few_form) {
    const EditRow& cylinders = Edit("SpinExtEdit2");
    ports.sim->SetFaultForAddress(71, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    const EditInit init = InitEdit(link, cylinders, cylinders.Value);
    EXPECT_EQ(init.value, 2);
    EXPECT_TRUE(EndsWith(init.ValueFormat, "цилиндра"));
}

// A failed read has no word of its own: an earlier reply's word belongs to another register, so
// every control keeps its value, whatever its row says of failures, and every list keeps its item.
TEST_F(params_reader, failed_reads_keep_every_value_and_item) {
    SetParam(99, 0x0105); // a word that would convert to something plausible everywhere
    ASSERT_TRUE(link.Exchange(Command::ReadParam, 99));
    channel.Close();
    constexpr ParamValue current = 42;
    for (const EditRow& row : EditRows()) {
        const EditInit init = InitEdit(link, row, current);
        EXPECT_EQ(init.value, current) << row.control;
        if (init.choices) {
            for (const ChoiceReading& list : init.choices->lists) {
                EXPECT_FALSE(list.answered) << list.row->control;
                EXPECT_FALSE(list.item.has_value()) << list.row->control;
            }
            EXPECT_FALSE(init.choices->startModeCaption.has_value());
        }
    }
    for (const ReadoutRow& row : ReadoutRows())
        EXPECT_EQ(QueryReadout(link, row, current).value, current) << row.control;
}

TEST_F(params_reader, coil_init_sets_the_lists_and_caption_without_writing) {
    struct Case {
        std::uint16_t petrol, throttle, vapour, startMode;
        std::optional<int> petrolItem, throttleItem, vapourItem, startItem;
        std::optional<std::string_view> caption;
    };
    const Case cases[] = {
        {256, 9, 7, 5, 0, 3, 1, std::nullopt, std::nullopt},
        {1, 3, 0, 1, 1, 3, 0, 1, "Переход с бензина на газ"},
        {0, 0, 0, 0, 0, 0, 0, 0, "Переход с пара на жидкую фазу"},
    };
    for (const auto& c : cases) {
        SetParam(19, c.petrol);
        SetParam(4, c.throttle);
        SetParam(3, c.vapour);
        SetParam(0, c.startMode);
        ports.sim->ClearFrames();
        const EditInit init = InitEdit(link, Edit("SpinExtEdit9"), 1);
        ASSERT_TRUE(init.choices.has_value());
        std::map<std::string_view, std::optional<int>> items;
        for (const ChoiceReading& list : init.choices->lists)
            items[list.row->control] = list.item;
        EXPECT_EQ(items["ComboBox1"], c.petrolItem) << c.petrol;
        EXPECT_EQ(items["ComboBox4"], c.throttleItem) << c.throttle;
        EXPECT_EQ(items["ComboBox2"], c.vapourItem) << c.vapour;
        EXPECT_EQ(items["ComboBox3"], c.startItem) << c.startMode;
        EXPECT_EQ(init.choices->startModeCaption, c.caption) << c.startMode;
        for (const Frame& f : ports.sim->Frames())
            EXPECT_NE(f[0], static_cast<std::uint8_t>(Command::WriteParam));
    }
}

TEST_F(params_reader, engine_speed_query_reports_the_flag_read) {
    ports.sim->WithModel([](auto& m) {
        m.PinLive(162, 851);
        return 0;
    });
    struct Case {
        std::uint16_t flag;
        OxygenSensor selection;
    };
    for (const Case c : {Case{2, OxygenSensor::Absent}, Case{3, OxygenSensor::Present}}) {
        SetParam(15, c.flag);
        const ReadoutQuery q = QueryReadout(link, Readout("ExtText2"), 1000);
        EXPECT_EQ(q.value, 851);
        ASSERT_TRUE(q.oxygenFlag.has_value());
        EXPECT_EQ(
            FollowOxygenFlag(OxygenSensor::Unselected, q.oxygenFlag->succeeded, q.oxygenFlag->word)
                .selection,
            c.selection);
    }
    EXPECT_FALSE(QueryReadout(link, Readout("ExtText1"), 0).oxygenFlag.has_value());
}

// The reply record then still holds the engine speed, odd here, which would select "есть".
TEST_F(params_reader, failed_flag_read_changes_nothing_and_writes_nothing) {
    ports.sim->WithModel([](auto& m) {
        m.PinLive(162, 851);
        return 0;
    });
    SetParam(15, 0);
    ports.sim->SetFaultForAddress(15, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    const ReadoutQuery q = QueryReadout(link, Readout("ExtText2"), 1000);
    ASSERT_TRUE(q.oxygenFlag.has_value());
    EXPECT_FALSE(q.oxygenFlag->succeeded);
    const OxygenOutcome o =
        FollowOxygenFlag(OxygenSensor::Absent, q.oxygenFlag->succeeded, q.oxygenFlag->word);
    EXPECT_EQ(o.selection, OxygenSensor::Absent);
    EXPECT_FALSE(o.write.has_value());
    EXPECT_FALSE(o.setReadoutEnabled);
    EXPECT_EQ(Param(15), 0);
}

TEST_F(params_reader, list_and_button_choices_write_positions_only) {
    const ChoiceRow* startMode = FindChoice("ComboBox3");
    ASSERT_NE(startMode, nullptr);
    WriteChoice(link, *startMode, 2);
    EXPECT_EQ(Param(0), 2);
    ports.sim->ClearFrames();
    for (const std::optional<int> item :
         {std::optional<int>{}, std::optional<int>{3}, std::optional<int>{-1}})
        WriteChoice(link, *startMode, item);
    EXPECT_TRUE(ports.sim->Frames().empty());

    WriteOxygenSelection(link, OxygenSensor::Absent);
    EXPECT_EQ(Param(15), 0);
    WriteOxygenSelection(link, OxygenSensor::Present);
    EXPECT_EQ(Param(15), 1);
    ports.sim->ClearFrames();
    WriteOxygenSelection(link, OxygenSensor::Unselected);
    EXPECT_TRUE(ports.sim->Frames().empty());
}

} // namespace
