#pragma once
// The form's live preview until preview/lumovexawidget.h exists (see PendingView.h).
#include "app/PendingView.h"
using lumovexawidget = PendingView;
