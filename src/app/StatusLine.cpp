#include "app/StatusLine.h"

#include "app/ErrorMessages.h"
#include "render/QtText.h"
#include "render/UiText.h"
#include "table/CellPlace.h"
#include "table/ColumnSum.h"
#include "table/CoreGrid.h"
#include "table/TableForm.h"
#include "text/TextEncoding.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace rasmik {

namespace {

QString Grouped(qint64 n)
{
    // Grouped as the sums are, with Latin digits.
    return QString::fromStdString(FormatGroupedNumber(static_cast<double>(n)));
}

// A label that gives up its room when the window is narrow: its text is
// cut with an ellipsis instead of holding the window wider (a long column
// name and a filter beside a selection). text() stays whole. The
// selection's sum is never cut: a cut number reads as another number.
class ShrinkingLabel : public QLabel {
public:
    explicit ShrinkingLabel(QWidget* parent) : QLabel(parent) { }
    QSize minimumSizeHint() const override
    {
        return {fontMetrics().horizontalAdvance(QChar(0x2026)) + 2 * margin(), QLabel::minimumSizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        style()->drawItemText(&painter, room, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                              isEnabled(), shown, foregroundRole());
    }
};

} // namespace

StatusLine::StatusLine(QWidget* parent)
    : QStatusBar(parent)
    , encoding_(new QLabel(this))
    , form_(new QLabel(this))
    , size_(new QLabel(this))
    , cell_(new ShrinkingLabel(this))
    , selection_(new QLabel(this))
    , filter_(new ShrinkingLabel(this))
{
    setObjectName(QStringLiteral("statusLine"));
    setLayoutDirection(UiDirection());
    setSizeGripEnabled(false);
    encoding_->setObjectName(QStringLiteral("encodingLabel"));
    form_->setObjectName(QStringLiteral("formLabel"));
    size_->setObjectName(QStringLiteral("sizeLabel"));
    cell_->setObjectName(QStringLiteral("cellLabel"));
    selection_->setObjectName(QStringLiteral("selectionLabel"));
    // Cell texts are shown as text, never as markup.
    cell_->setTextFormat(Qt::PlainText);
    filter_->setObjectName(QStringLiteral("filterLabel"));
    filter_->hide();
    addWidget(filter_);
    addWidget(cell_);
    addWidget(selection_);
    addPermanentWidget(size_);
    addPermanentWidget(form_);
    addPermanentWidget(encoding_);
    // The notice takes the room the others leave, cut short where it must
    // (whole in its tooltip): the current cell keeps its name.
    notice_ = new ShrinkingLabel(this);
    notice_->setObjectName(QStringLiteral("textEndLabel"));
    notice_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    notice_->hide();
    addWidget(notice_, 1);
}

void StatusLine::showCell(const CoreGrid& grid, int col, int row)
{
    cell_->setText(persianCellPlace(PlaceOfCell(grid, col, row)));
}

void StatusLine::showNoRow()
{
    cell_->setText(Ui::tr("هیچ ردیفی دیده نمی‌شود"));
}

void StatusLine::showSelection(std::size_t cells, const std::string& sum)
{
    selection_->setText(
        Ui::tr("%1 خانه، جمع: %2").arg(Grouped(static_cast<qint64>(cells)), QString::fromStdString(sum)));
}

void StatusLine::clearSelection()
{
    selection_->clear();
}

void StatusLine::showFilter(std::size_t shownRows)
{
    filter_->setText(Ui::tr("پالایه روشن است: %1 ردیف دیده می‌شود")
                         .arg(Grouped(static_cast<qint64>(shownRows))));
    filter_->show();
}

void StatusLine::clearFilter()
{
    filter_->clear();
    filter_->hide();
}

namespace {

QString SeparatorName(char separator)
{
    switch (separator) {
    case ',': return Ui::tr("ویرگول (,)");
    case ';': return Ui::tr("نقطه‌ویرگول (;)");
    case '|': return Ui::tr("خط عمودی (|)");
    default: return QStringLiteral("TAB");
    }
}

} // namespace

void StatusLine::showTable(const FileEncoding& encoding, const TableForm& form, const CoreGrid& grid)
{
    encoding_->setText(Ui::tr("رمزگذاری: %1").arg(QString::fromStdString(EncodingName(encoding))));
    form_->setText(Ui::tr("جداکننده: %1").arg(SeparatorName(form.separator)));
    const qint64 rows = std::max(0, grid.RowCount() - grid.FixedRows());
    size_->setText(Ui::tr("%1 ردیف، %2 ستون").arg(Grouped(rows), Grouped(grid.ColCount())));
}

void StatusLine::showTextEnd(const TextEnd& end, bool unclosedQuote)
{
    if (end.cut) {
        notice_->setText(
            Ui::tr("جدول در بایت %1 (NUL) بریده شد؛ %2 بایت خوانده نشد.")
                .arg(Grouped(static_cast<qint64>(end.cutAt) + 1), Grouped(static_cast<qint64>(end.bytesLeftOut()))));
    } else if (end.halfCharacter) {
        notice_->setText(
            Ui::tr(
                "فایل با نیمی از یک نویسه (بایت 0x%1) پایان می‌یابد؛ آن بایت دست نخورده می‌ماند.")
                .arg(QString::number(end.strayByte, 16).toUpper().rightJustified(2, QLatin1Char('0'))));
    } else if (unclosedQuote) {
        notice_->setText(Ui::tr(
            "نقل‌قولی در فایل بسته نشده است؛ خانه‌ای که با آن آغاز شد تا پایان فایل ادامه دارد."));
    } else {
        notice_->clear();
        notice_->setToolTip({});
        notice_->hide();
        return;
    }
    notice_->setToolTip(notice_->text());
    notice_->show();
}

} // namespace rasmik
