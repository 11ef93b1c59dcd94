#pragma once
// The form's 3D views until viewer/BaseMeshViewer.h exists (see PendingView.h).
#include "app/PendingView.h"
using BaseMeshViewer = PendingView;
