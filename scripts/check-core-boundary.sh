#!/bin/sh
# The core library (link, session, files, datalog, tuning, registry...) must run where there is
# no display: a command line, a station, a test. It fails this check when any of its objects
# refers to a widget or GUI symbol, however the header got in.
set -eu
core="$1"
found=$(nm -C --undefined-only "$core" 2>/dev/null |
    grep -E '\b(QWidget|QApplication|QGuiApplication|QPainter|QPixmap|QImage|QIcon|QColor|QFont|QPalette|QWindow|QScreen|QAction|QMessageBox|QDialog)\b' |
    sort -u || true)
if [ -n "$found" ]; then
    echo "the core library refers to GUI symbols:" >&2
    echo "$found" >&2
    exit 1
fi
echo "core library: no widget or GUI symbol referred to"
