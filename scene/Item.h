#pragma once
// Base of the scene items. Every item is made by MainDataHolder::createItem
// and owned by MainDataHolder::m_lst_items until it is deleted.

#include <cstdint>
#include <string>

class GLNode;
class ObjMesh;

// Kind codes, stored in Item::type and passed to createItem.
enum ItemKind : int32_t {
    kItem2d = 1, // Item_2d: sticker (or group of stickers)
    kItemAr = 2, // Item_ar: face mesh with one texture
    kItem3d = 3, // Item_3d: OBJ mesh with template parameters
};

class Item {
public:
    virtual ~Item();

    std::string name; // shown in the scene tree, stored as "itemname"; lookup key
    int32_t type = 0; // ItemKind, set by createItem

protected:
    Item() = default;
    // The scene node showing mesh, or null when there is no mesh or node.
    static GLNode* nodeOf(const ObjMesh* mesh);
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;
};
