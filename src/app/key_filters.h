#pragma once

class QKeyEvent;

namespace keys {

// For edits that take digits only: true (after a beep) when the key types a character other than a
// digit, so the caller swallows it. Keys that type nothing (arrows), editing and focus keys
// (Backspace, Delete, Tab, Enter, Escape) and shortcuts with Ctrl keep their usual meaning.
bool refuseNonDigit(const QKeyEvent* event);

}  // namespace keys
