#include "app/KVTDlg.h"

// Pages and flows that later work builds; until then each does the least it can.

void CKVTDlg::ShowShareConfirmView() {}

void CKVTDlg::OnShareWithFriend() {}
