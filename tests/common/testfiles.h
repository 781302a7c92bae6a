#pragma once

#include <QString>

// Copies every file below source into target, keeping the folders; false on any failure.
bool copyTree(const QString &source, const QString &target);
