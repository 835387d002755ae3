#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class OptionsDialog;
}

// The options dialog: the counter, conflict, regular-expression and timestamp options.
// Its controls are the options themselves (there is no OK or Cancel), so it is made
// once at start-up and closing only hides it; every reader takes the values from it at
// the moment of use.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // Sets the captions and the conflict items in the current language, keeping the
    // selected conflict rule.
    void applyTranslatedCaptions();

signals:
    // Enter in one of the number fields: the user asks for a preview.
    void previewRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setUpDialog();

    std::unique_ptr<Ui::OptionsDialog> ui;
};
