// Resource numbers of Cartscope.dll, shared by Cartscope.rc and the code.
#pragma once

#define IDS_PROJNAME 100

// Icon groups. The library's file icon must stay the second icon group in
// resource order (resources are ordered by number): the default icon location
// names the library with icon index 1.
#define IDI_CARTRIDGE 208        // fallback file icon: 16x16 (8, 24, 32 bit) and 64x64 (32 bit)
#define IDI_CARTRIDGE_SMALL 214  // default icon and menu item icon: 16x16 (8, 24, 32 bit)

// Flags of the banner languages, one 16x16 32-bit image each.
#define IDI_FLAG_GERMAN 215
#define IDI_FLAG_ENGLISH 216
#define IDI_FLAG_SPANISH 217
#define IDI_FLAG_FRENCH 218
#define IDI_FLAG_ITALIAN 219
#define IDI_FLAG_JAPANESE 220

// XSLT template of the property-description schema (resource type HTML).
#define IDR_SCHEMA_TEMPLATE 221

// Type library (resource type "TYPELIB").
#define IDR_TYPELIB 1
