#include "app/StatusLine.h"

#include "table/CoreGrid.h"
#include "text/TextEncoding.h"

#include <QLabel>
#include <QLocale>

namespace rasmik {

namespace {

QString Grouped(qint64 n)
{
    // Grouped as the sums are, with Latin digits.
    return QLocale::c().toString(n);
}

} // namespace

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent), encoding_(new QLabel(this)), size_(new QLabel(this))
{
    setObjectName(QStringLiteral("statusLine"));
    setLayoutDirection(Qt::RightToLeft);
    setSizeGripEnabled(false);
    encoding_->setObjectName(QStringLiteral("encodingLabel"));
    size_->setObjectName(QStringLiteral("sizeLabel"));
    addWidget(size_);
    addWidget(encoding_);
}

void StatusLine::showTable(const FileEncoding& encoding, const CoreGrid& grid)
{
    encoding_->setText(QStringLiteral("رمزگذاری: %1").arg(QString::fromStdString(EncodingName(encoding))));
    const qint64 rows = std::max(0, grid.RowCount() - grid.FixedRows());
    size_->setText(QStringLiteral("%1 ردیف، %2 ستون").arg(Grouped(rows), Grouped(grid.ColCount())));
}

} // namespace rasmik
