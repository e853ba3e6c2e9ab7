#pragma once

class KvtDatabase;

// Sends the logged-in user's runs that the on-line service does not have yet: logs in with the
// social-site credentials, asks for the service's newest run time, sends every stored run that
// started strictly after it (oldest first) in one AddRunData call and logs out again.
//
// 1 when the runs were delivered or there was nothing to deliver; 0 otherwise. Missing
// credentials or a failed login call nothing more; every later failure still logs out. When the
// service cannot say what it holds, nothing is sent: it tells new runs from old only by that time.
// The main dialog's CKVTDlg::UploadRuns forwards here with its credential buffers and its store.
int UploadRuns(KvtDatabase *database, const char16_t *webUser, const char16_t *webPassword);
