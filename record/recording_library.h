// The recordings in the record folder, as the recordings window shows them:
// which files are recordings this program made, by their names
// (recording_name.h); the folder's recordings, their lengths and which are
// still being made (recording_scan.h); the rows the window sorts and filters,
// with the texts of their cells (recording_list.h); renaming a recording with
// all its files (recording_rename.h).
#pragma once

#include "record/recording_list.h"
#include "record/recording_name.h"
#include "record/recording_rename.h"
#include "record/recording_scan.h"
