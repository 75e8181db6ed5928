#pragma once
// The pages the gallery renders. To add a window: append one entry in GalleryPages.cpp whose function
// builds the widget (not shown); the gallery lays it out, grabs it and saves <name>.png.
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

struct GalleryPage {
    QString name;
    std::function<QWidget*()> make; // the gallery owns and deletes the result
};

std::vector<GalleryPage> GalleryPages();
class SessionStore;
SessionStore& GalleryStore(); // the one store the pages show
void FillSampleFiles();       // a few stored files in the gallery's store, for list views
