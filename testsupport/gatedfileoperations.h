#pragma once

#include "batch/fileoperations.h"

#include <QSemaphore>

// Moves one file per permit, so that a test holds a batch in the middle without waiting
// for a clock: the batch runs on its own thread and blocks until the test lets it go on.
// Needs the batch library.
class GatedFileOperations : public SystemFileOperations
{
public:
    bool move(const QString &source, const QString &target) override
    {
        m_permits.acquire();
        return SystemFileOperations::move(source, target);
    }
    bool moveNamed(const QString &sourceFolder, const QString &sourceName,
                   const QString &targetFolder, const QString &targetName) override
    {
        m_permits.acquire();
        return SystemFileOperations::moveNamed(sourceFolder, sourceName, targetFolder, targetName);
    }
    void release(int files) { m_permits.release(files); }

private:
    QSemaphore m_permits;
};
