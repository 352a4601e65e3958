// The dialog framework of the command program, in one include.
#pragma once

#include "application.h"
#include "controls.h"
#include "dialog.h"
#include "file.h"
#include "window.h"
#include "worker_thread.h"
