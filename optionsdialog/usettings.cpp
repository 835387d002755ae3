#include "usettings.h"
#include "renameoptions.h"
#include "ui_usettings.h"

#include "digitsonly.h"
#include "translation.h"
#include "twolines.h"

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

TFormSettings::TFormSettings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormSettings>())
{
    ui->setupUi(this);
    acceptOnlyDigits(ui->edtCounterStart);
    acceptOnlyDigits(ui->edtDigits);
    // Up and Down step within what the preview reads: a start of 0 or more, 1 to 10 digits.
    stepWithArrowKeys(ui->edtCounterStart, 0, std::numeric_limits<int>::max(), 1);
    stepWithArrowKeys(ui->edtDigits, 1, 10, 3);
    for (QLineEdit *edit : {ui->edtCounterStart, ui->edtDigits})
        connect(edit, &QLineEdit::returnPressed, this, &TFormSettings::previewRequested);
    // Closing hides the dialog; its values live as long as the program.
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::close);
    setUpDialog();
    // Its usual size; the layout makes it larger where a language's captions need it.
    resize(defaultSize);
}

TFormSettings::~TFormSettings() = default;

void TFormSettings::setUpDialog()
{
    ui->edtCounterStart->setText(u"1"_s);
    ui->edtDigits->setText(u"3"_s);
    ui->cbConflict->clear();
    ui->cbConflict->addItems(conflictItems());
    ui->cbConflict->setCurrentIndex(ConflictMode::AutoNumber);
    ui->cbRegex->setChecked(false);
    ui->chkTouchModifiedNow->setChecked(false);
}

void TFormSettings::showEvent(QShowEvent *event)
{
    // A language chosen while the dialog was closed shows at its next opening.
    applyTranslatedCaptions();
    QDialog::showEvent(event);
}

void TFormSettings::applyTranslatedCaptions()
{
    setWindowTitle(translateText(u"Settings"_s));
    ui->GroupBox1->setTitle(translateText(u"Counter"_s));
    ui->Label1->setText(translateText(
        u"If {counter} keyword is used in Pattern, then apply the following rules:"_s));
    ui->lblCounterStart->setText(translateText(u"Counter start:"_s));
    ui->lblDigits->setText(translateText(u"Digits:"_s));
    ui->GroupBox4->setTitle(translateText(u"Conflict"_s));
    ui->Label2->setText(
        translateText(u"If the file name already exists, then apply the following change:"_s));
    ui->Label3->setText(translateText(u"Change:"_s));
    const int selected = ui->cbConflict->currentIndex();
    for (int i = 0; i < conflictItems().size() && i < ui->cbConflict->count(); ++i)
        ui->cbConflict->setItemText(i, translateText(conflictItems().at(i)));
    ui->cbConflict->setCurrentIndex(selected);
    ui->GroupBox2->setTitle(translateText(u"Renaming"_s));
    ui->cbRegex->setText(translateText(u"Use Regular Expressions"_s));
    ui->GroupBox3->setTitle(translateText(u"Timestamp"_s));
    ui->chkTouchModifiedNow->setText(translateText(u"Update modified date/time"_s));
    ui->Button1->setText(translateText(u"Close"_s));
    for (QLabel *label : {ui->Label1, ui->Label2})
        keepWithinTwoLines(label);
    ui->cbConflict->setMinimumWidth(0);
    ui->cbConflict->setMinimumWidth(ui->cbConflict->sizeHint().width());
}
