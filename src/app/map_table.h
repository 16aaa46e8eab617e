#pragma once

#include "link/param_value.h"

#include "session/change_history.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QDoubleSpinBox;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace zef {

class MapEditor;
class Prompts;

// The map's seven points as numbers under the chart: a point typed in is written as an arrow
// writes it, and the selected points move together by a step or a percentage. What the cells
// show always comes from the chart, so from the controller; the cell of the point the engine
// runs nearest is marked.
class MapTable : public QWidget {
    Q_OBJECT
public:
    MapTable(MapEditor& map, Prompts& prompts, QWidget* parent = nullptr);

    // Where the points written together are kept as one change, to be undone at once.
    void SetHistory(ChangeHistory* history) { m_history = history; }

    // Shows the map as the chart holds it. Not writable (no map, a lost or closed link): the
    // cells and buttons are off. The engine speed marks its point; none marks nothing.
    void Show(bool writable, std::optional<ParamValue> engineSpeed);

    // The selected points one step up (+1) or down (-1), or by a percentage; with more than
    // one point to write the fitter is asked first.
    void MoveSelected(int steps);
    void ScaleSelected(double percent);

    // The point whose cell is marked as the operating point's, 0 to 6; none when unmarked.
    [[nodiscard]] std::optional<int> MarkedPoint() const;
    // The map point nearest to an engine speed, 0 to 6: below the first all to the first,
    // above the last all to the last.
    [[nodiscard]] static int NearestPoint(ParamValue speed);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QDoubleSpinBox* Percent() const { return m_percent; }

private:
    struct Move {
        int point; // 0 to 6
        int before, after;
    };
    void typed(QTableWidgetItem* item);
    [[nodiscard]] std::vector<int> selectedPoints() const;
    // Writes the moves, asking first when there is more than one.
    // The selected points, each moved to where `moved` puts its microseconds (none: it stays).
    void writeSelected(const std::function<std::optional<int>(int)>& moved);
    void write(const std::vector<Move>& moves);
    void fill();

    MapEditor& m_map;
    Prompts& m_prompts;
    ChangeHistory* m_history = nullptr;
    QTableWidget* m_table;
    QDoubleSpinBox* m_percent;
    std::vector<QPushButton*> m_buttons;
    std::optional<int> m_marked;
    bool m_filling = false;
};

} // namespace zef
