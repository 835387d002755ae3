#include "optionsdialog/optioncontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace {

template <typename Owner>
QWidget *controlOf(std::initializer_list<Owner *> owners, const OptionField &field)
{
    const QString name = field.control.toString();
    for (Owner *owner : owners) {
        if (QWidget *control = owner->template findChild<QWidget *>(name))
            return control;
    }
    return nullptr;
}

} // namespace

void readOptionControls(std::initializer_list<const QWidget *> owners, RenameOptions &options)
{
    for (const OptionField &field : renameOptionFields()) {
        QWidget *control = controlOf(owners, field);
        if (!control)
            continue;
        switch (field.kind) {
        case OptionKind::Text:
        case OptionKind::Number:
            if (const auto *edit = qobject_cast<QLineEdit *>(control))
                options.*field.text = edit->text();
            break;
        case OptionKind::Flag:
            if (const auto *box = qobject_cast<QCheckBox *>(control))
                options.*field.flag = box->isChecked();
            break;
        case OptionKind::Choice:
            if (const auto *list = qobject_cast<QComboBox *>(control))
                options.*field.choice = list->currentIndex();
            break;
        }
    }
}

void writeOptionControls(std::initializer_list<QWidget *> owners, const RenameOptions &options)
{
    for (const OptionField &field : renameOptionFields()) {
        QWidget *control = controlOf(owners, field);
        if (!control)
            continue;
        switch (field.kind) {
        case OptionKind::Text:
        case OptionKind::Number:
            if (auto *edit = qobject_cast<QLineEdit *>(control))
                edit->setText(options.*field.text);
            break;
        case OptionKind::Flag:
            if (auto *box = qobject_cast<QCheckBox *>(control))
                box->setChecked(options.*field.flag);
            break;
        case OptionKind::Choice:
            if (auto *list = qobject_cast<QComboBox *>(control))
                list->setCurrentIndex(options.*field.choice);
            break;
        }
    }
}
