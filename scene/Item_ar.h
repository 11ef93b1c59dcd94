#pragma once
// An AR mesh: a copy of the reference head with one texture, following the
// face.

#include "scene/Item.h"

#include <memory>
#include <string>

class ObjMesh;

class Item_ar : public Item {
public:
    Item_ar();
    // Deletes the face mesh: it is this item's own copy of the reference head,
    // so the scene must have detached it before the item is destroyed.
    ~Item_ar() override;

    std::string texname;           // texture base name
    std::string texpath;           // texture full path
    std::unique_ptr<ObjMesh> mesh; // the face mesh; owned
};
