// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <functional>

// Where a run of bytes is kept, as they are, by whoever holds them (the log
// keeps a listing's bytes so), to be read back there rather than kept
// twice. A holder that is emptied counts it: a place from before then
// reads as nothing.
struct KeptPlace
{
    quint64 emptied = 0; // how often the holder was emptied before
    qint64 at = -1;      // negative: not kept
    bool kept() const { return at >= 0; }
    KeptPlace after(qint64 n) const { return KeptPlace{emptied, at + n}; }
};

// Takes kept bytes as they are handed out, a piece at a time; false to stop.
using KeptSink = std::function<bool(const char *, qint64)>;
// Hands out `n` bytes from a place; false when they are no longer there
// (or the sink stopped).
using KeptReader = std::function<bool(KeptPlace, qint64 n, const KeptSink &)>;
