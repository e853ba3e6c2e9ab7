#include "app/KVTDlg.h"
#include "app/MainDialogRunner.h"

void RunMainDialog(LANGID language, const CString &cmdUser, const CString &cmdPassword)
{
    auto dialog = std::make_unique<CKVTDlg>(language);
    dialog->m_strCmdUser = cmdUser;
    dialog->m_strCmdPassword = cmdPassword;
    CWinApp *app = AfxGetApp();
    if (app)
        app->m_pMainWnd = dialog.get();
    dialog->DoModal();
    if (app && app->m_pMainWnd == dialog.get())
        app->m_pMainWnd = nullptr;
    dialog.reset();
}
