#include "platform/win/App.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <clocale>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/CommandLine.h"
#include "platform/win/Wnd.h"

namespace
{
CWinApp *g_app = nullptr;
vxwin::MessageBoxHook g_messageBoxHook;
vxwin::SleepHook g_sleepHook;
WORD g_defaultLanguage = 1033;
bool g_clipboardOpen = false;
int g_waitDepth = 0;
} // namespace

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

void CWinApp::SetRegistryKey(LPCWSTR company)
{
    m_registryKey = company ? company : u"";
}

void AfxEnableControlContainer()
{
}

BOOL InitCommonControls()
{
    return TRUE;
}

CWinApp *AfxGetApp()
{
    return g_app;
}

CWnd *AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_app ? g_app->m_hInstance : nullptr;
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

namespace
{
// For the start-up benchmark and the start check of CI: with VORMATIK_BENCH_FIRST_PAINT set, the first paint of a
// top-level window ends the process at once, so that the time to the first window shown can be
// taken from outside.
class FirstPaintExit : public QObject
{
  protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object->isWidgetType() && static_cast<QWidget *>(object)->isWindow())
        {
            std::fflush(nullptr);
            std::_Exit(0);
        }
        return false;
    }
};
} // namespace

int AfxWinMain(int argc, char **argv)
{
    // The program reads its parameters as the process received them: Qt takes the options it knows
    // (-reverse, -platform ...) out of the vector it is given, which would shift the places the
    // log-in parameters are taken by.
    vxwin::SetCommandLine(argc, argv);
    // Qt gets a copy of its own, so that the log-in texts can go from the process's argument memory
    // at once: every local user can read that memory (/proc/<pid>/cmdline, ps) while the program runs.
    std::vector<std::string> qtArguments;
    for (int i = 0; argv && i < argc; ++i)
        qtArguments.emplace_back(argv[i] ? argv[i] : "");
    std::vector<char *> qtArgv;
    for (std::string &argument : qtArguments)
        qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());
    vxwin::WipeParameterTexts(argc, argv);
    QApplication app(qtArgc, qtArgv.data());
    FirstPaintExit firstPaintExit;
    const char *bench = std::getenv("VORMATIK_BENCH_FIRST_PAINT");
    if (bench && *bench)
        app.installEventFilter(&firstPaintExit);
    std::setlocale(LC_NUMERIC, "C");
    CWinApp *theApp = AfxGetApp();
    if (!theApp)
        return 1;
    if (theApp->InitInstance())
    {
        app.exec();
    }
    return theApp->ExitInstance();
}

namespace vxwin
{
void SetMessageBoxHook(MessageBoxHook hook)
{
    g_messageBoxHook = std::move(hook);
}

void SetDefaultLanguage(WORD language)
{
    g_defaultLanguage = language;
}

WORD GetDefaultLanguage()
{
    return g_defaultLanguage;
}

std::u16string ButtonText(int id, WORD language)
{
    const bool german = language == 1031;
    const bool traditional = language == 1028;
    const bool simplified = language == 2052;
    switch (id)
    {
    case IDOK:
        return traditional ? u"\u78BA\u5B9A" : simplified ? u"\u786E\u5B9A" : u"OK";
    case IDCANCEL:
        return german ? u"Abbrechen" : (traditional || simplified) ? u"\u53D6\u6D88" : u"Cancel";
    case IDYES:
        return german ? u"Ja" : (traditional || simplified) ? u"\u662F" : u"Yes";
    case IDNO:
        return german ? u"Nein" : (traditional || simplified) ? u"\u5426" : u"No";
    default:
        return u"";
    }
}

void SetSleepHook(SleepHook hook)
{
    g_sleepHook = std::move(hook);
}

bool GetClipboardText(std::u16string &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QString value = clipboard->text(QClipboard::Clipboard);
    if (value.isNull())
        return false;
    text = value.toStdU16String();
    return true;
}

bool SetClipboardText(std::u16string_view text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())),
                       QClipboard::Clipboard);
    return true;
}

int WaitCursorDepth()
{
    return g_waitDepth;
}
} // namespace vxwin

int MessageBoxEx(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD language)
{
    if (language == 0)
        language = g_defaultLanguage;
    const std::u16string body = text ? text : u"";
    const std::u16string title = caption ? caption : u"";
    if (g_messageBoxHook)
        return g_messageBoxHook(vxwin::MessageBoxRequest{owner, body, title, type, language});
    if (!QApplication::instance())
        return 0;

    CWnd *ownerWnd = CWnd::FromHandle(owner);
    QWidget *parent = ownerWnd && ownerWnd->GetWidget() ? ownerWnd->GetWidget()->window() : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdU16String(title));
    box.setText(QString::fromStdU16String(body));
    switch (type & MB_ICONMASK)
    {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    std::vector<std::pair<QAbstractButton *, int>> buttons;
    auto add = [&](int id, QMessageBox::ButtonRole role) {
        buttons.emplace_back(box.addButton(QString::fromStdU16String(vxwin::ButtonText(id, language)), role),
                             id);
    };
    int escapeResult = IDCANCEL;
    switch (type & MB_TYPEMASK)
    {
    case MB_OKCANCEL:
        add(IDOK, QMessageBox::AcceptRole);
        add(IDCANCEL, QMessageBox::RejectRole);
        break;
    case MB_YESNO:
        add(IDYES, QMessageBox::YesRole);
        add(IDNO, QMessageBox::NoRole);
        escapeResult = IDNO;
        break;
    case MB_YESNOCANCEL:
        add(IDYES, QMessageBox::YesRole);
        add(IDNO, QMessageBox::NoRole);
        add(IDCANCEL, QMessageBox::RejectRole);
        break;
    default:
        add(IDOK, QMessageBox::AcceptRole);
        escapeResult = IDOK;
        break;
    }
    box.exec();
    for (const auto &[button, id] : buttons)
        if (box.clickedButton() == button)
            return id;
    return escapeResult;
}

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    return MessageBoxEx(owner, text, caption, type, 0);
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT)
{
    CWnd *main = AfxGetMainWnd();
    return MessageBoxEx(main ? main->m_hWnd : nullptr, text, nullptr, type, 0);
}

void Sleep(DWORD milliseconds)
{
    if (g_sleepHook)
    {
        g_sleepHook(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

BOOL OpenClipboard(HWND)
{
    if (g_clipboardOpen || !QGuiApplication::clipboard())
        return FALSE;
    g_clipboardOpen = true;
    return TRUE;
}

BOOL CloseClipboard()
{
    if (!g_clipboardOpen)
        return FALSE;
    g_clipboardOpen = false;
    return TRUE;
}

BOOL IsClipboardFormatAvailable(UINT format)
{
    if (format != CF_UNICODETEXT && format != CF_TEXT)
        return FALSE;
    std::u16string text;
    return vxwin::GetClipboardText(text) ? TRUE : FALSE;
}

CWaitCursor::CWaitCursor()
{
    if (QGuiApplication::instance())
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_active = true;
        ++g_waitDepth;
    }
}

CWaitCursor::~CWaitCursor()
{
    Restore();
}

void CWaitCursor::Restore()
{
    if (!m_active)
        return;
    m_active = false;
    --g_waitDepth;
    if (QGuiApplication::instance())
        QGuiApplication::restoreOverrideCursor();
}
