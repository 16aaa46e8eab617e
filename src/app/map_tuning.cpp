#include "app/map_tuning.h"

#include "app/main_window.h"
#include "app/map_chart.h"
#include "dialogs/tuning_dialog.h"

#include <QPointer>

namespace zef {

namespace {

const QString kRecordingFilter = QStringLiteral("Журнал двигателя (*.csv)");

QString WithoutCopyQuestion(const QString& reason) {
    return QStringLiteral("Калибровку контроллера не удалось сохранить в архиве:\n%1\n\n"
                          "Записать точки карты без копии нынешней калибровки?")
        .arg(reason);
}

} // namespace

std::optional<MapWrite> WriteTunedMap(TForm1& window, const MapMicros& before,
                                      const MapMicros& chosen) {
    const ChangeHistory::Group group(window.History(), QStringLiteral("Подбор карты по записи"));
    MapWrite written = WriteMap(window.Link(), window.Archive(), window.SerialNumber(), before,
                                chosen, [&window](const QString& reason) {
                                    return window.Ask().AskYesNo(WithoutCopyQuestion(reason),
                                                                 Prompts::Kind::Warning);
                                });
    if (!written.written)
        return std::nullopt;
    window.Session().Record(EventKind::Tuned, window.SerialNumber());
    return written;
}

TuningDialog* ShowMapTuning(TForm1& window) {
    if (auto* open = window.findChild<TuningDialog*>()) {
        open->raise();
        open->activateWindow();
        return open;
    }
    // The map is tuned against what the controller holds, so only in a session.
    const auto current = window.Chart1()->PointCount() > 0 ? ReadMap(window.Link()) : std::nullopt;
    if (!current) {
        window.Ask().Message(QStringLiteral("Карта контроллера не прочитана: нет связи."),
                             Prompts::Kind::Warning);
        return nullptr;
    }
    std::optional<std::vector<DatalogRow>> rows;
    if (!window.Recording()) {
        const auto path = window.Ask().OpenFileName(kRecordingFilter);
        if (!path)
            return nullptr;
        auto read = ReadDatalogCsv(*path);
        if (!read) {
            window.Ask().Message(read.error(), Prompts::Kind::Error);
            return nullptr;
        }
        rows = *read;
    }

    TuningDialog::Hooks hooks;
    hooks.write = [&window](const MapMicros& before, const MapMicros& chosen) {
        return WriteTunedMap(window, before, chosen);
    };
    hooks.showSuggested =
        [chart = QPointer<MapChart>(window.Chart1())](const std::vector<QPointF>& curve) {
            if (chart)
                chart->SetSuggested(curve);
        };
    auto* dialog = new TuningDialog(*current, window.Ask(), std::move(hooks), &window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (rows)
        dialog->AddRows(*rows);
    else
        dialog->Follow(window.RecordedTrend());
    dialog->show();
    return dialog;
}

} // namespace zef
