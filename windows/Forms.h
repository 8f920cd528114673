#pragma once

class QString;

// Creates the program's windows in start-up order: the main window Form1, whose creation draws the
// first board, then AboutBox, Form_ToMass and Form_AddImage, hidden. The main window owns the
// other three; all four live until DestroyForms. The main window is shown as soon as it exists,
// so that the display sets it up while the other windows are built; it appears once the event
// loop runs.
void CreateForms();

// Deletes the four windows and clears their globals.
void DestroyForms();

// Opens `fileName` in the windows CreateForms has just made, for `dotwright FILE`: a picture goes
// to the import dialog, loaded; an array file onto the board at its size.
void OpenFileAtStart(const QString& fileName);
