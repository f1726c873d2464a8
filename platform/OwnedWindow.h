#pragma once

class QObject;
class QWidget;

// Makes `window` a top-level window of its own — its own task-bar entry, not a
// transient of `owner` — that frees itself when closed and is destroyed with
// `owner` if the owner goes first. Destroyed that way, no close handler runs.
void MakeOwnedTopLevel(QWidget *window, QObject *owner);
