#include "shell/messageboxes.h"

#include "shell/startup.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace {

// Room for a window manager's frame and title bar around a box.
constexpr int FrameAllowance = 40;

QWidget *owner()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

class ScreenFittingMessageBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    bool event(QEvent *event) override
    {
        // Once the text scrolls, the box keeps the size given here: the message box's own
        // sizing would make it as high as the whole text again.
        if (m_scrolled && event->type() == QEvent::LayoutRequest)
            return QDialog::event(event);
        return QMessageBox::event(event);
    }

    void showEvent(QShowEvent *event) override
    {
        // The box takes the size its whole text needs here; where that is more than the
        // screen has, the text goes into a scrolled area of the height there is.
        QMessageBox::showEvent(event);
        const QScreen *shown = screen();
        auto *grid = qobject_cast<QGridLayout *>(layout());
        auto *label = findChild<QLabel *>(u"qt_msgbox_label"_s);
        if (!shown || !grid || !label || m_scrolled)
            return;
        const int room = shown->availableGeometry().height() - FrameAllowance;
        if (height() <= room)
            return;
        grid->activate(); // the label at its place in the box's new size
        m_scrolled = true;
        int row = 0;
        int column = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
        const QSize text(label->width(), label->heightForWidth(label->width()));
        grid->removeWidget(label);
        auto *scroll = new QScrollArea(this);
        scroll->setObjectName(u"qt_msgbox_scroll"_s);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(label);
        // The box's own background behind the text, as before.
        label->setAutoFillBackground(false);
        scroll->viewport()->setAutoFillBackground(false);
        grid->addWidget(scroll, row, column, rowSpan, columnSpan);
        const int barWidth = scroll->verticalScrollBar()->sizeHint().width();
        scroll->setFixedSize(text.width() + barWidth, text.height() - (height() - room));
        setFixedSize(width() + barWidth, room);
        adjustPosition(parentWidget());
    }

private:
    bool m_scrolled = false;
};

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QMessageBox::Icon icon, const QString &text,
                                            QMessageBox::StandardButtons buttons, QWidget *parent)
{
    auto box =
        std::make_unique<ScreenFittingMessageBox>(icon, ApplicationTitle, text, buttons, parent);
    // A path, an address or an error can be copied out of the message.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return box;
}

void MessageBoxes::information(const QString &text)
{
    makeMessageBox(QMessageBox::Information, text, QMessageBox::Ok, owner())->exec();
}

void MessageBoxes::warning(const QString &text)
{
    makeMessageBox(QMessageBox::Warning, text, QMessageBox::Ok, owner())->exec();
}

bool MessageBoxes::confirm(const QString &text)
{
    const auto box =
        makeMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, owner());
    box->setDefaultButton(QMessageBox::Yes);
    return box->exec() == QMessageBox::Yes;
}

void MessageBoxes::error(const QString &text)
{
    makeMessageBox(QMessageBox::Critical, text, QMessageBox::Ok, owner())->exec();
}

bool MessageBoxes::warningWithAction(const QString &text, const QString &action)
{
    const auto box = makeMessageBox(QMessageBox::Warning, text, QMessageBox::Cancel, owner());
    QPushButton *way = box->addButton(action, QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->exec();
    return box->clickedButton() == way;
}
