#include "app/HeaderStrip.h"

#include "render/QtText.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace rasmik {

int TextHeightOf(const QFont& font, const QString& text)
{
    // A scratch measurement of one line of text: the font's line height.
    Q_UNUSED(text);
    return QFontMetrics(font).height();
}

QColor HeaderColour(int k)
{
    static const QColor colours[4] = {QColor(128, 0, 0), QColor(0, 0, 128), QColor(0, 128, 0), QColor(0, 0, 0)};
    return colours[((k % 4) + 4) % 4];
}

HeaderStrip::HeaderStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("headerStrip"));
    setLayoutDirection(Qt::RightToLeft);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    hide();
}

QWidget* HeaderStrip::panel(int p) const
{
    return p >= 1 && p <= made_ ? panels_[p] : nullptr;
}

QLabel* HeaderStrip::label(int p, int i) const
{
    return p >= 1 && p <= made_ && i >= 1 && i <= 3 ? labels_[p][i] : nullptr;
}

void HeaderStrip::rebuildPanels(int count, const std::vector<std::string>& captions, TextEncoding held)
{
    for (int p = made_; p >= 1; --p) {
        delete panels_[p];
        panels_[p] = nullptr;
        for (int i = 1; i <= 3; ++i)
            labels_[p][i] = nullptr;
    }
    made_ = 0;
    std::size_t next = 0;
    for (int p = 1; p <= std::min(count, MaxPanels); ++p) {
        auto* panel = new QWidget(this);
        panel->setObjectName(QStringLiteral("headerPanel%1").arg(p));
        auto* row = new QHBoxLayout(panel);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        for (int i = 1; i <= 3; ++i) {
            const std::string caption = next < captions.size() ? captions[next] : std::string();
            ++next;
            auto* label = new QLabel(ToQString(caption, held), panel);
            label->setObjectName(QStringLiteral("headerLabel%1_%2").arg(p).arg(i));
            label->setTextFormat(Qt::PlainText);
            // In this right-to-left strip the first label stands at the right edge.
            label->setAlignment(i == 2 ? Qt::AlignCenter
                                       : (Qt::AlignAbsolute | (i == 1 ? Qt::AlignRight : Qt::AlignLeft))
                                        | Qt::AlignVCenter);
            row->addWidget(label, i == 2 ? 1 : 0);
            labels_[p][i] = label;
        }
        static_cast<QVBoxLayout*>(layout())->addWidget(panel);
        panels_[p] = panel;
        made_ = p;
    }
}

void HeaderStrip::layoutHeader(int count)
{
    setVisible(count > 0);
    if (count <= 0)
        return;
    const int h = TextHeightOf(font(), QStringLiteral("Ay"));
    int k = 0;
    for (int p = 1; p <= std::min(count, made_); ++p) {
        panels_[p]->setFixedHeight(h);
        for (int i = 1; i <= 3; ++i) {
            QLabel* label = labels_[p][i];
            label->setFont(font());
            QPalette pal = label->palette();
            pal.setColor(QPalette::WindowText, HeaderColour(k));
            label->setPalette(pal);
            ++k;
        }
    }
    setFixedHeight(h * count);
}

void HeaderStrip::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    emit resized();
}

} // namespace rasmik
