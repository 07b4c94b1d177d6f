#pragma once

#include <QString>

// The project chooser. The object lives for the whole run; its dialog is built
// anew at every reading of ProjectName and destroyed at its end.
class FProjectOpen {
  public:
    static FProjectOpen& Instance();

    // Shows the chooser modally with the registered projects of every kind and
    // returns the chosen project's name: the item opened (Open or a double click on
    // it); after Cancel the name the previous reading returned (the empty text the
    // first time); after the window's close command the empty text. Fails with the
    // list's error (RuntimeError) when the registered projects cannot be listed.
    QString ProjectName();
    // Reads the registered projects ahead, in the background, so that the
    // chooser opens at once: for a window that offers it, when it starts.
    static void ReadAhead();

  private:
    friend class ProjectOpenDialog;
    FProjectOpen() = default;
    QString msProjectName;
};
