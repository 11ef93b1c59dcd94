#include "scene/Item_ar.h"

#include "geometry/ObjMesh.h"

Item_ar::Item_ar() = default;
Item_ar::~Item_ar() = default;
