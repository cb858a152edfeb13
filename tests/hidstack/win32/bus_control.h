/* What the bridge tells the test bus driver (kbdsim_bus.sys) through its control interface:
 * the kbdsim pipe and the HID devices that are plugged now. The bus adds and removes its child
 * devices to match and lets Plug and Play know. Shared by the driver (C) and the bridge (C++). */
#pragma once

/* {6B1B2E4C-3D1A-4F57-9C1E-5A7D2B9E0C31} */
#define KBDSIM_BUS_CONTROL_GUID_INIT                       \
    {                                                      \
        0x6b1b2e4c, 0x3d1a, 0x4f57, {                      \
            0x9c, 0x1e, 0x5a, 0x7d, 0x2b, 0x9e, 0x0c, 0x31 \
        }                                                  \
    }

#define KBDSIM_BUS_IOCTL_SET_DEVICES \
    CTL_CODE(FILE_DEVICE_BUS_EXTENDER, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)

#define KBDSIM_BUS_MAX_DEVICES 16
#define KBDSIM_BUS_PIPE_NAME_CHARS 96

/* The USB interface a child stands for: the keyboard's vendor-defined collection (interface 1),
 * whose reports travel over kbdsim's interface pipe, or its boot keyboard collection, as
 * interface 0 (enumerated before the vendor collection) or as interface 2 (after it). */
#define KBDSIM_BUS_KIND_VENDOR 0
#define KBDSIM_BUS_KIND_KEYBOARD 1
#define KBDSIM_BUS_KIND_KEYBOARD_LAST 2

/* The USB interface number of a kind, as it shows in the device's ID ("&MI_01"). */
static inline unsigned long kbdsim_bus_interface_number(unsigned long kind) {
    return kind == KBDSIM_BUS_KIND_KEYBOARD ? 0 : kind == KBDSIM_BUS_KIND_VENDOR ? 1 : 2;
}

struct kbdsim_bus_device {
    unsigned long interface_id; /* kbdsim's interface id: the pipe is <pipe>.if<id> */
    unsigned short vendor_id;
    unsigned short product_id;
    unsigned long kind;
};

struct kbdsim_bus_devices {
    wchar_t pipe_name[KBDSIM_BUS_PIPE_NAME_CHARS]; /* zero-terminated */
    unsigned long count;
    struct kbdsim_bus_device devices[KBDSIM_BUS_MAX_DEVICES];
};
