#include "platform/win/Dialog.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <map>

#include "platform/win/App.h"

namespace
{
vxwin::ModalHook g_modalHook;

std::map<UINT, SIZE> &TemplateSizes()
{
    static std::map<UINT, SIZE> sizes;
    return sizes;
}
} // namespace

namespace vxwin
{
void SetModalHook(ModalHook hook)
{
    g_modalHook = std::move(hook);
}
} // namespace vxwin

void CDialog::SetTemplateSize(UINT templateId, int cx, int cy)
{
    TemplateSizes()[templateId] = SIZE{cx, cy};
}

CDialog::CDialog(UINT templateId, CWnd *parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    if (m_loop)
        m_loop->quit();
    if (m_hWnd)
        DestroyWindow();
}

BOOL CDialog::CreateDialogWindow(bool modal)
{
    CWnd *owner = m_pParentWnd;
    if (!owner)
    {
        CWnd *main = AfxGetMainWnd();
        if (main != this && main && main->m_hWnd)
            owner = main;
    }
    SIZE size{320, 240};
    const auto it = TemplateSizes().find(m_nIDTemplate);
    if (it != TemplateSizes().end())
        size = it->second;
    QRect area;
    if (owner && owner->GetWidget())
        area = owner->GetWidget()->window()->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    const int x = area.isEmpty() ? 0 : area.center().x() - size.cx / 2;
    const int y = area.isEmpty() ? 0 : area.center().y() - size.cy / 2;
    // Made on the screen, so that a picture set before the first show keeps the dialog where it
    // is (a window above or left of the screen's origin would go to its corner).
    const QRect made = vxwin::KeepWhollyOnScreen(QRect(x, y, size.cx, size.cy), area);
    const CRect rect(made.left(), made.top(), made.left() + size.cx, made.top() + size.cy);
    if (!CreateEx(0, u"#32770", nullptr, WS_POPUP | WS_CAPTION | WS_SYSMENU, rect, owner, 0))
        return FALSE;
    // Placed at its first show, when OnInitDialog has given it its size.
    m_placeAtFirstShow = true;
    if (modal)
        GetWidget()->setWindowModality(Qt::ApplicationModal);
    return TRUE;
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd || !QGuiApplication::instance())
        return -1;
    if (!CreateDialogWindow(true))
        return -1;
    m_ended = false;
    m_result = IDCANCEL;
    const std::weak_ptr<int> life = LifeToken();
    const int showsBefore = m_showCount;
    SendMessage(WM_INITDIALOG, 0, 0);
    if (life.expired())
        return -1;
    if (!m_ended && m_hWnd)
    {
        const bool hidItself = m_showCount != showsBefore && m_lastShowCommand == SW_HIDE;
        if (!hidItself)
            ShowWindow(SW_SHOW);
        QEventLoop loop;
        m_loop = &loop;
        // The loop ends once the window is gone, also when Qt takes it with its owner's.
        QObject::connect(GetWidget(), &QObject::destroyed, &loop, &QEventLoop::quit);
        if (g_modalHook)
        {
            vxwin::ModalHook hook = g_modalHook;
            QTimer::singleShot(0, &loop, [this, life, hook] {
                if (!life.expired() && m_loop)
                    hook(*this);
            });
        }
        if (!m_ended && m_hWnd)
            loop.exec(QEventLoop::DialogExec);
        if (life.expired())
            return -1;
        m_loop = nullptr;
    }
    const int result = m_result;
    DestroyWindow();
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd *parent)
{
    if (m_hWnd)
        return FALSE;
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    if (!CreateDialogWindow(false))
        return FALSE;
    const std::weak_ptr<int> life = LifeToken();
    const int showsBefore = m_showCount;
    SendMessage(WM_INITDIALOG, 0, 0);
    if (life.expired() || !m_hWnd)
        return FALSE;
    const bool hidItself = m_showCount != showsBefore && m_lastShowCommand == SW_HIDE;
    if (!hidItself && !m_ended)
        ShowWindow(SW_SHOW);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
    if (GetWidget())
        GetWidget()->hide();
    if (m_loop)
        m_loop->quit();
}

BOOL CDialog::DestroyWindow()
{
    const std::weak_ptr<int> life = LifeToken();
    const BOOL destroyed = CWnd::DestroyWindow();
    // A running modal loop ends with its window, with the result set so far.
    if (destroyed && !life.expired() && m_loop)
        m_loop->quit();
    return destroyed;
}

BOOL CDialog::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    if (msg == WM_INITDIALOG)
    {
        *result = OnInitDialog();
        return TRUE;
    }
    return CWnd::OnWndMsg(msg, wParam, lParam, result);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == 0)
    {
        if (LOWORD(wParam) == IDOK)
        {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL)
        {
            OnCancel();
            return TRUE;
        }
    }
    return CWnd::OnCommand(wParam, lParam);
}

BOOL CDialog::PreTranslateDialogKey(int qtKey)
{
    if (qtKey == Qt::Key_Escape)
    {
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return TRUE;
    }
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter)
    {
        SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg)
    {
    case WM_CLOSE:
        // A dialog's close is a cancel.
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return 0;
    case WM_ERASEBKGND: {
        vxwin::PaintContext *ctx = vxwin::PaintContext::FromHandle(reinterpret_cast<HDC>(wParam));
        if (!ctx)
            return 0;
        const std::weak_ptr<int> life = LifeToken();
        HBRUSH brush =
            reinterpret_cast<HBRUSH>(SendMessage(WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(m_hWnd)));
        if (life.expired())
            return 1;
        COLORREF color = kDefaultFace;
        vxwin::GetBrushColor(brush, &color);
        QPainter *painter = ctx->Painter();
        painter->fillRect(QRect(QPoint(0, 0), ctx->Size()),
                          QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
        return 1;
    }
    default:
        return CWnd::DefWindowProc(msg, wParam, lParam);
    }
}
