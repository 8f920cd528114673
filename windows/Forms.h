#pragma once

class QString;

// Creates the main window Form1, whose creation draws the first board, and shows it; it appears
// once the event loop runs. The other windows are made by CreateDialogs when first needed.
void CreateForms();

// Makes AboutBox, Form_ToMass and Form_AddImage, hidden, unless they exist already: the main
// window calls it before it first uses any of them, so a window nobody opens costs nothing at
// start-up. The main window owns them; they live until DestroyForms, keeping their state from one
// use to the next. The windows reach each other only through the connections made here.
void CreateDialogs();

// Deletes the windows and clears their globals.
void DestroyForms();

// Opens `fileName` in the windows CreateForms has just made, for `dotwright FILE`: a picture goes
// to the import dialog, loaded; an array file onto the board at its size. It is opened as Ctrl+O
// opens it, once the event loop runs; a file that fails to open shows the error box over the
// first board.
void OpenFileAtStart(const QString& fileName);
