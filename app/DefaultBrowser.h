#pragma once

#include <string>

// The command that opens web pages: the registered HTTP open command with its
// environment variables expanded and its "%1" placeholder removed, or xdg-open when
// none is registered. Empty when the registered command cannot be used (not text, or
// longer than 259 characters once expanded).
std::u16string GetDefaultBrowserCommand();

// Starts the browser command with the address as its last argument, passed whole: no
// shell sees it. The browser runs on its own; nothing waits for it. 1 when it was
// started, 0 otherwise (no address, no usable command, a program that cannot start).
int OpenUrlInBrowser(const std::u16string &address);
