// The list file beside the program: every row's record, one per line, in row order, UTF-16LE
// with its mark. Read once at start-up and replaced whole after every change of the list.
#pragma once

// Fills the empty list from the file; a missing or unreadable file leaves it empty. Lines with
// a state outside 0-5, fewer than three "|" or no URL are skipped.
void LoadListFile();
// Replaces the file with the records of every row. A crash at any instant leaves the old file
// or the new one. On failure the old file stays and the next change saves again.
bool SaveListFile();
