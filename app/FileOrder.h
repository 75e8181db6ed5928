#pragma once
// The shown order of the shared file list by one column: stable, by the whole texts (UTF-16 units) or the
// sizes, as a plain stable sort of the rows would give, without moving a row.
#include "app/FileRow.h"

#include <QtGlobal>

#include <vector>

// `order` holds the places in `files` of the rows as they are shown; it is rearranged, and rows that
// compare equal keep their places relative to each other. Column 0 name, 1 size, 2 date.
void SortFileOrder(const std::vector<FileRow>& files, std::vector<quint32>& order, int column, bool ascending);
