// The resource that carries the payload archive: RT_RCDATA with this id. The
// builder writes it; setup.exe reads it from its own module.
#pragma once

#define IDR_PAYLOAD 101
