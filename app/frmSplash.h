#pragma once

#include <QDialog>

// The splash window: a picture on black, no frame, shown modally at start-up
// until its timer closes it.
class frmSplash : public QDialog
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget* owner = nullptr);

    // How long the splash stays up; tests shorten it.
    static int& TimerInterval();

protected:
    // Only the timer closes the splash: Esc and the window manager's close
    // do nothing.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

private:
    void tmrSplash_Timer();
    bool m_timedOut = false;
};
