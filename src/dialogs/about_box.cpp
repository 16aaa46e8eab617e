#include "dialogs/about_box.h"

#include "dialogs/form_font.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

namespace zef {

namespace {

// The product picture: drawn rather than shipped as a file, so the program stays one binary.
QPixmap productPicture() {
    QPixmap pixmap(199, 137);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 137);
    sky.setColorAt(0, QColor(0, 60, 160));
    sky.setColorAt(1, QColor(150, 200, 255));
    p.fillRect(pixmap.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(QPointF(150, 30), 60, 60);
    QFont title("DejaVu Sans", 22, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 30, 199, 40), Qt::AlignCenter, "ZEF-K7LX");
    QFont sub("DejaVu Sans", 9);
    p.setFont(sub);
    p.drawText(QRect(0, 80, 199, 20), Qt::AlignCenter, "LPG injection");
    return pixmap;
}

} // namespace

QStringList TForm3::MemoLines() {
    return {"   Газовая инжекторная ",
            "     система ZEF-K7LX с ",
            "   обратной связью по ",
            "    датчику кислорода.",
            "    ",
            "    Версия " ZEF_VERSION,
            ""};
}

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName("Form3");
    setWindowTitle("Инфо");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(369, 154);
    setFont(FormFont());
    setModal(true);

    auto* image = new QLabel(this);
    image->setObjectName("Image1");
    image->setGeometry(4, 8, 199, 137);
    image->setPixmap(productPicture());

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName("Memo1");
    m_memo->setGeometry(212, 8, 153, 113);
    m_memo->setReadOnly(true);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->viewport()->setCursor(Qt::ArrowCursor);
    m_memo->setPlainText(MemoLines().join('\n'));

    m_ok = new QPushButton("OK", this);
    m_ok->setObjectName("Button1");
    m_ok->setGeometry(291, 128, 75, 20);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace zef
