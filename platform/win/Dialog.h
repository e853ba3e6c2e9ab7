#pragma once

#include <functional>

#include "platform/win/Wnd.h"

class QEventLoop;

// A dialog built in code: DoModal creates it (a top-level window owned by its parent), calls
// OnInitDialog, shows it unless it hid itself, and runs a nested event loop until EndDialog;
// posted messages keep arriving meanwhile. Whenever it is first shown, with the size
// OnInitDialog gave it, it is centred over its owner (the screen for the main dialog) and kept
// wholly on the screen, as CWnd describes. Enter and Escape anywhere in the dialog become OnOK
// and OnCancel; the close button sends WM_CLOSE, whose default handling is OnCancel. Qt never
// closes a dialog by itself.
class CDialog : public CWnd
{
  public:
    explicit CDialog(UINT templateId = 0, CWnd *parent = nullptr);
    ~CDialog() override;

    // Ends with the result of EndDialog, or IDCANCEL when the dialog's window goes without one
    // (destroyed, or taken with its owner).
    virtual INT_PTR DoModal();
    // Modeless: creates and initialises the dialog and shows it.
    virtual BOOL Create(UINT templateId, CWnd *parent = nullptr);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    BOOL DestroyWindow() override;
    BOOL IsModalLoopRunning() const { return m_loop != nullptr; }

    // The size a dialog template gives a new dialog (before OnInitDialog sizes it).
    static void SetTemplateSize(UINT templateId, int cx, int cy);

    // The background fill when OnCtlColor gives no brush for CTLCOLOR_DLG.
    static constexpr COLORREF kDefaultFace = RGB(0xF0, 0xF0, 0xF0);

  protected:
    BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *result) override;
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL PreTranslateDialogKey(int qtKey) override;
    using CWnd::Create;

    UINT m_nIDTemplate;
    CWnd *m_pParentWnd;

  private:
    BOOL CreateDialogWindow(bool modal);

    QEventLoop *m_loop = nullptr;
    int m_result = IDCANCEL;
    bool m_ended = false;
};

namespace vxwin
{
// While a hook is set, every DoModal calls it once inside its nested loop, after the dialog
// is shown: a test's script of clicks, keys and messages. An empty function removes it.
using ModalHook = std::function<void(CDialog &dialog)>;
void SetModalHook(ModalHook hook);
} // namespace vxwin
