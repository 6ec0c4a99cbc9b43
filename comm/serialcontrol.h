#pragma once

#include "mscomm.h"

// The serial control over Qt Serial Port and the Linux tty interfaces.
class SerialControl : public MSComm
{
    Q_OBJECT
public:
    explicit SerialControl(QObject *parent = nullptr);
    ~SerialControl() override;
};
