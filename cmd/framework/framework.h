// The dialog framework of the command program, in one include.
#pragma once

#include "cmd/framework/application.h"
#include "cmd/framework/balloon_msg.h"
#include "cmd/framework/controls.h"
#include "cmd/framework/dialog.h"
#include "cmd/framework/file.h"
#include "cmd/framework/system_tray.h"
#include "cmd/framework/window.h"
#include "cmd/framework/worker_thread.h"
