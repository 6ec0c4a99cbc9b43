// SPDX-License-Identifier: MIT
#pragma once

// Makes the log readable by screen readers (its text, selection, caret and
// colours through Qt's accessibility text interface). Safe to call often.
void installLogPaneAccessibility();
