// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class LogStore;
class QWidget;

// What the find field needs of the view it searches and lies over.
class FindTarget
{
public:
    virtual ~FindTarget() = default;
    virtual const LogStore &store() const = 0;
    // The selection (empty where its ends meet) and the caret: where a
    // search starts from.
    virtual qint64 selectionStart() const = 0;
    virtual qint64 selectionEnd() const = 0;
    virtual qint64 caretPosition() const = 0;
    // Selects [from, to) and scrolls it into sight, clear of the field.
    virtual void showMatch(qint64 from, qint64 to) = 0;
    // The field's parent, which gets the focus back when it closes.
    virtual QWidget *findHost() = 0;
    // The child of the host whose bottom edge the field lies over.
    virtual QWidget *textArea() = 0;
    // The field covers the bottom `height` pixels of the text area (0: none).
    virtual void coverBottom(int height) = 0;
};
