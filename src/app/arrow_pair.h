#pragma once

#include <QWidget>

class QToolButton;

namespace zef {

// An up/down pair of arrow buttons under a map point. Held down, an arrow repeats its click
// first after 400 ms and then every 100 ms, like a held key.
class ArrowPair : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 100;

    explicit ArrowPair(const QString& name, QWidget* parent = nullptr);

    [[nodiscard]] QToolButton* Up() const { return m_up; }
    [[nodiscard]] QToolButton* Down() const { return m_down; }

signals:
    void UpClick();
    void DownClick();

private:
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace zef
