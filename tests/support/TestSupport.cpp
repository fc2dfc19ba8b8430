#include "tests/support/TestSupport.h"

#include "app/frmSplash.h"
#include "common/AppPaths.h"
#include "common/VbError.h"

namespace TestSupport
{

void IsolateProcess()
{
    static QTemporaryDir folders[4];
    for (int i = 0; const char* name : {"RUNTIME_DIR", "STATE_HOME", "CACHE_HOME", "CONFIG_HOME"})
        qputenv(QByteArray("XDG_") + name, folders[i++].path().toLocal8Bit());
    AppPaths::SetAppFolder(BuiltAppFolder());
}

AppFolderCopy::AppFolderCopy()
{
    QDirIterator it(BuiltAppFolder(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString target = m_dir.filePath(QDir(BuiltAppFolder()).relativeFilePath(it.next()));
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(it.filePath(), target);
    }
}

MessageRecorder::MessageRecorder()
{
    SetMsgBoxHandler(
        [this](const QString& text, int style, const QString& title, const QString& details) {
            messages.append({text, title, details, style});
            return answers.isEmpty() ? 1 : answers.takeFirst();
        });
}

QStringList MessageRecorder::texts() const
{
    QStringList t;
    for (const Message& m : messages)
        t << QString("%1|%2|%3").arg(m.text).arg(m.style).arg(m.title);
    return t;
}

DialogScript::DialogScript()
{
    CommonDialog::SetBackend([this](const FileDialogRequest& request) {
        requests.append(request);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    });
}

std::optional<QString> Run(const QString& program, const QStringList& args)
{
    const ToolTest::Run r = ToolTest::run(program, args);
    if (r.code == 0)
        return QString::fromUtf8(r.out);
    qWarning("%s", r.err.constData());
    return std::nullopt;
}

void StartWindow(frmMain& window, int splashMs)
{
    frmSplash::TimerInterval() = splashMs;
    window.Form_Load();
}

QColor CaptionColor(QWidget* frame)
{
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    return QColor::fromRgba(
        uint(frame->style()->styleHint(QStyle::SH_GroupBox_TextLabelColor, &option, frame)));
}

// The named control a widget belongs to (the tab strip is its tab control's).
static QString ControlName(QWidget* w)
{
    while (w && (w->objectName().isEmpty() || w->objectName().startsWith("qt_")))
        w = w->parentWidget();
    return w ? w->objectName() : "nothing";
}

static QString Quoted(QString text)
{
    return '"' + text.replace('\n', "\\n") + '"';
}

template <typename E>
static QString Key(E value)
{
    return QMetaEnum::fromType<E>().valueToKeys(int(value));
}

static QTabWidget* TabsOfPage(QWidget* w)
{
    return w->parentWidget() ? qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget())
                             : nullptr;
}

// Bold, underline, the colours the window sets itself, style sheet, pointer.
static QString Look(QWidget* w)
{
    QString s =
        QString(w->font().bold() ? " bold" : "") + (w->font().underline() ? " underline" : "");
    for (auto [role, name] : {std::pair{QPalette::WindowText, " text "},
                              {QPalette::Text, " fieldtext "},
                              {QPalette::Base, " field "},
                              {QPalette::Window, " back "}}) {
        if (w->testAttribute(Qt::WA_SetPalette) && (w->palette().resolveMask() & (1ull << role)))
            s += name + w->palette().color(role).name();
    }
    if (!w->styleSheet().isEmpty())
        s += " style " + Quoted(w->styleSheet());
    if (qobject_cast<QGroupBox*>(w))
        s += " caption " + CaptionColor(w).name();
    if (w->testAttribute(Qt::WA_SetCursor) && !qobject_cast<QLineEdit*>(w)) // edits set their own
        s += " pointer " + (w->cursor().shape() == Qt::BitmapCursor
                                ? QString("picture@%1,%2")
                                      .arg(w->cursor().hotSpot().x())
                                      .arg(w->cursor().hotSpot().y())
                                : Key(w->cursor().shape()));
    return s;
}

// The caption or text and the start state.
static QString State(QWidget* w, bool items = true)
{
    QString s;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        s = ' ' + Quoted(b->text());
        if (const int key = QKeySequence::mnemonic(b->text())[0].toCombined())
            s += " key " + QKeySequence(key).toString();
        if (b->isCheckable())
            s += QString(b->isChecked() ? " checked" : " unchecked") +
                 (b->autoExclusive() ? " exclusive" : "");
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        s = ' ' + Quoted(l->text()) + (l->textFormat() == Qt::PlainText ? " plain" : "");
        if (l->alignment() != (Qt::AlignLeft | Qt::AlignVCenter))
            s += " align " + Key(l->alignment());
        if (!l->pixmap().isNull())
            s += QString(" picture %1x%2").arg(l->pixmap().width()).arg(l->pixmap().height());
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        s = ' ' + Quoted(e->text()) + QString(" max %1").arg(e->maxLength());
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        QStringList entries;
        for (int i = 0; items && i < c->count(); ++i)
            entries << c->itemText(i) +
                           (c->itemData(i).isValid() ? '=' + c->itemData(i).toString() : "");
        s = QString(" selected %1").arg(c->currentIndex()) +
            (items ? " of [" + entries.join('|') + ']' : "") + (c->isEditable() ? " typed" : "");
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        s = ' ' + Quoted(g->title());
    } else if (auto* t = qobject_cast<QTabWidget*>(w)) {
        s = QString(" showing %1").arg(t->currentIndex());
    } else if (auto* p = qobject_cast<FlashPlayer*>(w)) {
        s = " movie " + QDir(AppPaths::AppFolder()).relativeFilePath(p->Movie());
    }
    if (auto* f = qobject_cast<QFrame*>(w); f && f->frameShape() != QFrame::NoFrame)
        s += " border " + Key(f->frameShape()) + ' ' + Key(f->frameShadow());
    return s;
}

// What a screen reader (Orca) calls a field: the labels Qt gives it but its frame, else its name.
static QString Heard(QWidget* field)
{
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(field);
    QStringList labels;
    for (const auto& [label, relation] : access->relations(QAccessible::Label)) {
        if (label->object() != field->parentWidget())
            labels << label->text(QAccessible::Name);
    }
    return labels.isEmpty() ? access->text(QAccessible::Name) : labels.join(' ');
}

// The named controls inside w, in drawing order (a tab control's pages in tab order), each placed
// in its frame or window, or for a control on a page, in the whole tab control.
static void DescribeChildren(QWidget* w, const QString& indent, const QStringList& cycle,
                             QStringList& out)
{
    QList<QWidget*> children = w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        children.clear();
        for (int i = 0; i < tabs->count(); ++i)
            children << tabs->widget(i);
    }
    for (QWidget* c : children) {
        if (c->isWindow() || ControlName(c) != c->objectName())
            continue;
        const QPoint at = c->mapTo(TabsOfPage(w) ? TabsOfPage(w) : w, QPoint(0, 0));
        QStringList line = {indent + c->objectName(), c->metaObject()->className()};
        if (QTabWidget* tabs = TabsOfPage(c))
            line << QString("page %1").arg(tabs->indexOf(c))
                 << Quoted(tabs->tabText(tabs->indexOf(c)));
        else
            line << QString("%1,%2 %3x%4").arg(at.x()).arg(at.y()).arg(c->width()).arg(c->height());
        if (const QString state = State(c); !state.isEmpty())
            line << state.mid(1);
        if (!c->toolTip().isEmpty())
            line << "tip " + Quoted(c->toolTip());
        if (cycle.contains(c->objectName()))
            line << QString("tab %1").arg(cycle.indexOf(c->objectName()));
        if ((qobject_cast<QLineEdit*>(c) || qobject_cast<QComboBox*>(c) ||
             qobject_cast<QAbstractSpinBox*>(c)) &&
            !c->isHidden())
            line << "heard " + Quoted(Heard(c));
        if (c->isHidden() && !TabsOfPage(c))
            line << "hidden";
        out << line.join(' ') + Look(c);
        DescribeChildren(c, indent + "  ", cycle, out);
    }
}

QStringList TabCycle(QWidget* window)
{
    QApplication::setActiveWindow(window);
    QWidget* focus = QApplication::focusWidget();
    QStringList cycle;
    while (focus && cycle.size() < 100 && !cycle.contains(ControlName(focus))) {
        cycle << ControlName(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
        focus = QApplication::focusWidget();
    }
    if (focus && ControlName(focus) != cycle.value(0))
        cycle << "then " + ControlName(focus);
    return cycle;
}

QString DescribeWindow(QWidget* window)
{
    const QStringList cycle = TabCycle(window);
    QStringList buttons, icon;
    for (auto [flag, name] : {std::pair{Qt::WindowMinimizeButtonHint, "minimize"},
                              {Qt::WindowMaximizeButtonHint, "maximize"},
                              {Qt::WindowCloseButtonHint, "close"},
                              {Qt::FramelessWindowHint, "frameless"}}) {
        if (window->windowFlags() & flag)
            buttons << name;
    }
    for (const QSize& size : window->windowIcon().availableSizes())
        icon << QString::number(size.width());
    auto* main = qobject_cast<QMainWindow*>(window);
    const QSize client = main ? main->centralWidget()->size() : window->size();
    const QRect around = window->parentWidget() ? window->parentWidget()->geometry()
                                                : window->screen()->availableGeometry();
    const bool centred =
        (window->frameGeometry().center() - around.center()).manhattanLength() <= 4;
    const auto n = [](int v) { return QString::number(v); };
    QStringList out = {
        QString("window %1 client %2x%3 %4, buttons %5, icon %6%7%8")
            .arg(Quoted(window->windowTitle()), n(client.width()), n(client.height()),
                 window->minimumSize() == window->maximumSize() ? "fixed" : "resizable",
                 buttons.join(' '), icon.join(' '), centred ? ", centred" : "",
                 window->isModal() ? ", modal" : ""),
        QString("font %1 %2px, focus at start %3")
                .arg(window->font().family(), n(window->font().pixelSize()),
                     cycle.value(0, "none")) +
            Look(window)};
    for (QAction* menu : main ? main->menuBar()->actions() : QList<QAction*>()) {
        out << "menu " + menu->menu()->objectName() + ' ' + Quoted(menu->text());
        for (QAction* a : menu->menu()->actions())
            out << "  " +
                       (a->objectName() + ' ' + (a->isSeparator() ? "-" : Quoted(a->text())) + ' ' +
                        a->shortcut().toString())
                           .trimmed() +
                       (a->isCheckable() ? a->isChecked() ? " (*)" : " ( )" : "");
    }
    DescribeChildren(window, "", cycle, out);
    return out.join('\n') + '\n';
}

static const QString GoldenFolder = KESTREL_TEST_SOURCE_DIR "/tests/golden/";

void CompareGolden(const QString& name, const QString& text)
{
    if (qEnvironmentVariableIntValue("KESTREL_UPDATE_GOLDEN"))
        return WriteFile(GoldenFolder + name, text.toUtf8());
    QCOMPARE(text.split('\n'), QString::fromUtf8(ReadFile(GoldenFolder + name)).split('\n'));
}

void CompareGoldenTable(const QString& name, const std::function<QString(const QString&)>& call)
{
    QStringList lines = QString::fromUtf8(ReadFile(GoldenFolder + name)).split('\n');
    QVERIFY2(lines.size() > 1, qPrintable(GoldenFolder + name));
    for (QString& line : lines) {
        const QJsonArray row = QJsonDocument::fromJson(line.toUtf8()).array();
        if (row.isEmpty())
            continue; // a comment
        QString result;
        try {
            result = call(row[0].toString());
        } catch (const VbError& e) {
            result = QString("error %1: %2").arg(e.number()).arg(e.description());
        } catch (const std::exception& e) {
            result = QString("refused: ") + e.what();
        }
        line = QJsonDocument(QJsonArray{row[0], result}).toJson(QJsonDocument::Compact);
    }
    CompareGolden(name, lines.join('\n'));
}

QStringList Transcript::Controls() const
{
    QStringList lines;
    for (QWidget* c : m_win.w.findChildren<QWidget*>()) {
        if (ControlName(c) == c->objectName() && !c->isWindow())
            lines << c->objectName() + State(c, false) +
                         (c->toolTip().isEmpty() ? "" : " tip " + Quoted(c->toolTip()));
    }
    return lines;
}

void Transcript::note(const QString& step)
{
    text += QString(step).replace('\n', "\\n").replace('\r', "\\r").replace('\t', "\\t") + '\n';
    for (; m_messages < m_win.messages.messages.size(); ++m_messages)
        text += "  message " + m_win.messages.texts()[m_messages] + '\n';
    for (; m_dialogs < m_win.dialogs.requests.size(); ++m_dialogs) {
        const FileDialogRequest& r = m_win.dialogs.requests[m_dialogs];
        const QString dialog =
            QString("  dialog %1 \"%2\" flags %3 owner %4 filters [%5]%6\n")
                .arg(QStringList{"open", "save", "folder"}[r.kind], r.title)
                .arg(r.flags)
                .arg(r.owner ? r.owner->objectName() : "none", r.filterEntries.join('|'),
                     r.folder.isEmpty() ? "" : " in " + r.folder);
        text += dialog == m_lastDialog ? "  the same dialog\n" : dialog;
        m_lastDialog = dialog;
    }
    for (; m_links < m_win.links.opened.size(); ++m_links)
        text += "  opens " + m_win.links.opened[m_links].toString(QUrl::FullyEncoded) + '\n';
    const QStringList now = Controls();
    for (const QString& line : now)
        text += m_controls.contains(line) ? "" : "  " + line + '\n';
    m_controls = now;
}

} // namespace TestSupport
