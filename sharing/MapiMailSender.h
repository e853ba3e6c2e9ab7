#pragma once

// Hands a file to the user's mail program, which opens its compose window with the file
// attached; the user adds the recipient, subject and text there. The mail program is reached
// through the desktop's mail launcher (xdg-email), started with an argument vector.

#include <string>

#include "platform/win/WinTypes.h"

class MapiMailSender
{
  public:
    // Finds the launcher. When there is none that may be run, message 324 is shown on the owner
    // in the given language and every Send fails without starting anything.
    MapiMailSender(HWND owner, LANGID language);
    ~MapiMailSender();
    MapiMailSender(const MapiMailSender &) = delete;
    MapiMailSender &operator=(const MapiMailSender &) = delete;

    // Each stores its text as UTF-8; a null text stores the empty text. Return 1.
    int SetRecipient(const char16_t *text);
    int SetSubject(const char16_t *text);
    int SetBody(const char16_t *text);
    // The full path of the one file to attach, as the file system names it.
    int SetAttachment(const char16_t *text);

    // Starts the launcher and waits for it: 1 when it exits with 0, else 0. Nothing is started
    // without a launcher, without an absolute attachment path, or when a text cannot be handed
    // over whole (an unpaired surrogate in it).
    int Send();

    // The launcher: a name looked up on PATH, or a path. Empty restores "xdg-email".
    static void SetLauncher(const std::u16string &program);

  private:
    std::string m_recipient;
    std::string m_subject;
    std::string m_body;
    std::string m_attachment;
    // The launcher's file, empty when none was found.
    std::string m_launcher;
    bool m_textsValid = true;
};
