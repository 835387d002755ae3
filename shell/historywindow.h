#pragma once

#include "batch/history.h"
#include "batch/undo.h"

#include <QDialog>

class BatchTableModel;
class QLabel;
class QPushButton;
class QTableView;
class QThread;
class RenameController;
class UndoPlanTableModel;
class UserMessages;

// The batches on record, newest first, and what an undo of the chosen one would do with
// each of its files. Undo and Redo run through the controller, which asks first; the
// list is read again whenever the controller's work ends. A window beside the main
// window (not modal): the main window stays usable while it is open.
class HistoryWindow : public QDialog
{
    Q_OBJECT

public:
    HistoryWindow(RenameController &controller, UserMessages &messages, QWidget *parent = nullptr);
    // Waits for a plan being made.
    ~HistoryWindow() override;

    // Reads the history again; the chosen batch stays chosen while it is on record.
    void refresh();
    // The id of the chosen batch, empty when none is.
    QString chosenBatch() const;
    // The undo plan shown below the batches (made for chosenBatch once planShown came).
    const UndoPlan &shownPlan() const { return m_plan; }
    void applyTranslatedCaptions();

signals:
    // The plan of the chosen batch is shown.
    void planShown();

protected:
    void showEvent(QShowEvent *event) override;
    // Escape stops running work after the current file, as in the main window, and
    // closes the window when nothing runs.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void planChosenBatch();
    void showPlan(UndoPlan plan, const QString &error);
    void undoChosen();
    void redoChosen();
    void enableButtons();

    RenameController &m_controller;
    UserMessages &m_messages;
    BatchTableModel *m_batches = nullptr;
    UndoPlanTableModel *m_planRows = nullptr;
    QTableView *m_batchTable = nullptr;
    QTableView *m_planTable = nullptr;
    QLabel *m_planLabel = nullptr;
    QPushButton *m_undoButton = nullptr;
    QPushButton *m_redoButton = nullptr;
    QPushButton *m_closeButton = nullptr;
    UndoPlan m_plan;
    QString m_planError;
    QThread *m_planner = nullptr;
    bool m_planAgain = false; // another batch was chosen while a plan was made
};
