#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <initializer_list>

// Builds a frame (without its CR LF) by plain concatenation: the code, then each
// field preceded by a TAB. Most frames also end with a TAB after the last field.
enum class TrailingTab { No, Yes };

QByteArray MakeFrame(std::initializer_list<QByteArrayView> codeAndFields, TrailingTab trailing);
