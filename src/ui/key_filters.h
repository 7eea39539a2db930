#pragma once

#include <initializer_list>

class QKeyEvent;
class QWidget;

namespace keys {

// For edits that take digits only: true (after a beep) when the key types a character other than a
// digit, so the caller swallows it. Keys that type nothing (arrows), editing and focus keys
// (Backspace, Delete, Tab, Enter, Escape) and shortcuts with Ctrl keep their usual meaning.
bool refuseNonDigit(const QKeyEvent* event);

// Enter (or Return) in each widget of the chain moves the focus to the next one; nothing is
// confirmed by it. The filter lives as long as the first widget.
void moveFocusOnEnter(std::initializer_list<QWidget*> chain);

}  // namespace keys
