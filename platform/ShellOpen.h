#pragma once

#include <QByteArrayView>

// Asks the shell to open a web address (http or https) or a "mailto:" link
// given as cp932 text. Anything else is not opened: the targets are a fixed web
// address and mail addresses the server sends, never a local file or program.
void ShellOpen(QByteArrayView target);
