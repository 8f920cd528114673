#pragma once

// Creates the program's windows in start-up order: the main window Form1, whose creation draws the
// first board, then AboutBox, Form_ToMass and Form_AddImage, hidden. The main window owns the
// other three; all four live until DestroyForms.
void CreateForms();

// Deletes the four windows and clears their globals.
void DestroyForms();
