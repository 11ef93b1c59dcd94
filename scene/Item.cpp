#include "scene/Item.h"

#include "geometry/ObjMesh.h"

Item::~Item() = default;

GLNode* Item::nodeOf(const ObjMesh* mesh) { return mesh ? mesh->node : nullptr; }
