#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFormSettings;
}

// The options dialog: the counter, conflict, regular-expression and timestamp options.
// Its controls are the options themselves (there is no OK or Cancel), so it is made
// once at start-up and closing only hides it; every reader takes the values from it at
// the moment of use.
class TFormSettings : public QDialog
{
    Q_OBJECT

public:
    explicit TFormSettings(QWidget *parent = nullptr);
    ~TFormSettings() override;

    // Sets the captions and the conflict items in the current language, keeping the
    // selected conflict rule.
    void ApplyTranslatedCaptions();

signals:
    // Enter in one of the number fields: the user asks for a preview.
    void previewRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();

    std::unique_ptr<Ui::TFormSettings> ui;
};
