#pragma once

#include <QDialog>

class QLabel;

// The About window: the program's name and version, the tools it uses and
// three links to the maker's web site. Shown modally, fixed in size.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner = nullptr);

public slots:
    void cmdClose_Click();
    void lblKestrel_Click();
    void lblKestrelSupport_Click();
    void lblKestrelContact_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_lblKestrel = nullptr;
    QLabel* m_lblKestrelSupport = nullptr;
    QLabel* m_lblKestrelContact = nullptr;
};
