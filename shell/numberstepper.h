#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up/down button pair attached to a number edit: each click, and the Up and Down keys
// in the edit, step the edit's number by 1, kept within 0 to 100. The edit keeps
// whatever text it holds until it is stepped.
class NumberStepper : public QWidget
{
    Q_OBJECT

public:
    explicit NumberStepper(QWidget *parent = nullptr);

    void setBuddy(QLineEdit *edit);
    // Names the two buttons for screen readers after the field they step ("Increase
    // Remove first"), in the current language.
    void setFieldName(const QString &fieldName);
    QLineEdit *buddy() const { return m_buddy; }
    void stepBy(int steps);

    // As high as its edit.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int Minimum = 0;
    static constexpr int Maximum = 100;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *m_up;
    QToolButton *m_down;
    QLineEdit *m_buddy = nullptr;
};
