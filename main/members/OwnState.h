#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The user's own presence: the three states the user can choose, the caption
// the own-state panel shows for each, and when a choice is announced.

// "応答可▼", "離席中▼" or "応答不可▼" for 3, 2 or 4.
QString OwnStateCaption(int state);

// The STC frame that announces `chosen`, or nothing when the server already
// knows it. `announced` takes the new value before anything is sent, so a
// choice is announced once even if the send fails.
std::optional<QByteArray> AnnounceOwnState(int chosen, int &announced);
