// The dialog framework of the command program, in one include.
#pragma once

#include "application.h"
#include "balloon_msg.h"
#include "controls.h"
#include "dialog.h"
#include "file.h"
#include "system_tray.h"
#include "window.h"
#include "worker_thread.h"
