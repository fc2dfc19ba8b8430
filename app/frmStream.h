#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QCheckBox;
class QLineEdit;

// "Stream to Servers": up to five servers, each an address (rtmp:// or
// rtmps://, the host, a port when not the usual one, the application), its
// stream key, shown as dots unless "Show" is ticked, and a tick to use it.
// They are kept, keys included, in kestrel.ini, which is then readable by
// its owner alone.
class frmStream : public QDialog
{
    Q_OBJECT
public:
    static constexpr int Destinations = 5;

    explicit frmStream(QWidget* owner);
    // The ticked servers' addresses with their keys, once "Start Streaming"
    // has been pressed and they have passed their checks.
    QStringList ChosenUrls() const { return m_chosen; }

    void done(int result) override;
    // A kestrel.ini that holds keys is made its owner's alone again (its mode
    // may have been changed since).
    static void KeepKeysPrivate();

private:
    struct Row {
        QCheckBox* use;
        QLineEdit* server;
        QLineEdit* key;
        QCheckBox* show;
    };
    QList<Row> m_rows;
    QStringList m_chosen;

    void startStreaming();
    void load();
    void save() const;
};
