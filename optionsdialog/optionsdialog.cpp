#include "optionsdialog/optionsdialog.h"
#include "engine/renameoptions.h"
#include "ui_optionsdialog.h"

#include "optionsdialog/digitsonly.h"
#include "optionsdialog/twolines.h"
#include "translation/translation.h"

#include <QAbstractItemView>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The client area at the default size.
constexpr QSize defaultSize(433, 412);

const QStringList &conflictItems()
{
    static const QStringList items{translatable(u"Skip"), translatable(u"Overwrite"),
                                   translatable(u"Auto-number")};
    return items;
}

} // namespace

OptionsDialog::OptionsDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::OptionsDialog>())
{
    ui->setupUi(this);
    acceptOnlyDigits(ui->counterStartEdit);
    acceptOnlyDigits(ui->digitsEdit);
    // Up and Down step within what the preview reads: a start of 0 or more, 1 to 10 digits.
    stepWithArrowKeys(ui->counterStartEdit, 0, std::numeric_limits<int>::max(), 1);
    stepWithArrowKeys(ui->digitsEdit, 1, 10, 3);
    for (QLineEdit *edit : {ui->counterStartEdit, ui->digitsEdit})
        connect(edit, &QLineEdit::returnPressed, this, &OptionsDialog::previewRequested);
    // Each caption belongs to the field beside it: a screen reader says it with the field.
    ui->counterStartLabel->setBuddy(ui->counterStartEdit);
    ui->digitsLabel->setBuddy(ui->digitsEdit);
    ui->conflictLabel->setBuddy(ui->conflictCombo);
    // Closing hides the dialog; its values live as long as the program.
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    setUpDialog();
    // Its usual size; the layout makes it larger where a language's captions need it.
    resize(defaultSize);
}

OptionsDialog::~OptionsDialog() = default;

void OptionsDialog::setUpDialog()
{
    ui->counterStartEdit->setText(u"1"_s);
    ui->digitsEdit->setText(u"3"_s);
    ui->conflictCombo->clear();
    ui->conflictCombo->addItems(conflictItems());
    ui->conflictCombo->setCurrentIndex(ConflictMode::AutoNumber);
    ui->regexCheck->setChecked(false);
    ui->touchModifiedNowCheck->setChecked(false);
}

void OptionsDialog::showEvent(QShowEvent *event)
{
    // A language chosen while the dialog was closed shows at its next opening.
    applyTranslatedCaptions();
    QDialog::showEvent(event);
}

void OptionsDialog::applyTranslatedCaptions()
{
    setWindowTitle(translateText(u"Settings"_s));
    ui->counterGroup->setTitle(translateText(u"Counter"_s));
    ui->counterRulesLabel->setText(translateText(
        u"If {counter} keyword is used in Pattern, then apply the following rules:"_s));
    ui->counterStartLabel->setText(translateText(u"Counter start:"_s));
    ui->digitsLabel->setText(translateText(u"Digits:"_s));
    ui->conflictGroup->setTitle(translateText(u"Conflict"_s));
    ui->conflictRulesLabel->setText(
        translateText(u"If the file name already exists, then apply the following change:"_s));
    ui->conflictLabel->setText(translateText(u"Change:"_s));
    const int selected = ui->conflictCombo->currentIndex();
    for (int i = 0; i < conflictItems().size() && i < ui->conflictCombo->count(); ++i)
        ui->conflictCombo->setItemText(i, translateText(conflictItems().at(i)));
    ui->conflictCombo->setCurrentIndex(selected);
    ui->renamingGroup->setTitle(translateText(u"Renaming"_s));
    ui->regexCheck->setText(translateText(u"Use Regular Expressions"_s));
    ui->timestampGroup->setTitle(translateText(u"Timestamp"_s));
    ui->touchModifiedNowCheck->setText(translateText(u"Update modified date/time"_s));
    ui->closeButton->setText(translateText(u"Close"_s));
    // The fields are named by their captions; the rule above each group says when it applies.
    ui->counterStartEdit->setAccessibleName(spokenCaption(ui->counterStartLabel->text()));
    ui->digitsEdit->setAccessibleName(spokenCaption(ui->digitsLabel->text()));
    ui->conflictCombo->setAccessibleName(spokenCaption(ui->conflictLabel->text()));
    ui->conflictCombo->view()->setAccessibleName(ui->conflictCombo->accessibleName());
    for (QWidget *field : {ui->counterStartEdit, ui->digitsEdit})
        field->setAccessibleDescription(ui->counterRulesLabel->text());
    ui->conflictCombo->setAccessibleDescription(ui->conflictRulesLabel->text());
    for (QLabel *label : {ui->counterRulesLabel, ui->conflictRulesLabel})
        keepWithinTwoLines(label);
    ui->conflictCombo->setMinimumWidth(0);
    ui->conflictCombo->setMinimumWidth(ui->conflictCombo->sizeHint().width());
}
