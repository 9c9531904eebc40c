#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// The lock that keeps a second Rondella (a window or a command) off a
// collection folder while one works on it.
struct FolderLock {
    std::unique_ptr<QLockFile> lock; // null where the folder cannot hold one (read-only)
    QString refusal; // why the folder cannot be worked on; empty when it can
    bool inUse = false; // refused because another Rondella holds it
};

FolderLock lockCollectionFolder(const QString& folder);
