#include "dialogs/FindReplaceDialog.h"

#include "render/UiText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace rasmik {

FindReplaceDialog::FindReplaceDialog(QWidget* parent)
    : QDialog(parent)
    , find_(new QLineEdit(this))
    , replace_(new QLineEdit(this))
    , whole_(new QCheckBox(Ui::tr("فقط خانه‌هایی که تمامشان همین متن است"), this))
{
    setWindowTitle(Ui::tr("یافتن و جایگزینی"));
    setLayoutDirection(UiDirection());
    find_->setObjectName(QStringLiteral("findEdit"));
    replace_->setObjectName(QStringLiteral("replaceEdit"));
    whole_->setObjectName(QStringLiteral("wholeCellsBox"));
    auto* form = new QFormLayout;
    form->addRow(Ui::tr("یافتن:"), find_);
    form->addRow(Ui::tr("جایگزینی با:"), replace_);
    auto* buttons = new QDialogButtonBox(this);
    replaceButton_ = buttons->addButton(Ui::tr("جایگزینی همه"), QDialogButtonBox::AcceptRole);
    replaceButton_->setObjectName(QStringLiteral("replaceButton"));
    replaceButton_->setDefault(true);
    buttons->addButton(Ui::tr("انصراف"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing to replace until there is something to find.
    replaceButton_->setEnabled(false);
    connect(find_, &QLineEdit::textChanged, this,
            [this](const QString& text) { replaceButton_->setEnabled(!text.isEmpty()); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(whole_);
    layout->addWidget(buttons);
    setTabOrder(find_, replace_);
    setTabOrder(replace_, whole_);
    find_->setFocus();
    resize(420, sizeHint().height());
}

QString FindReplaceDialog::findText() const
{
    return find_->text();
}

QString FindReplaceDialog::replaceText() const
{
    return replace_->text();
}

bool FindReplaceDialog::wholeCells() const
{
    return whole_->isChecked();
}

} // namespace rasmik
