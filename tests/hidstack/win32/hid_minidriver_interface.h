/* The HID minidriver interface of hidclass.sys, as Microsoft documents it (hidport.h of the
 * Windows Driver Kit; MinGW-w64's ddk/ headers do not carry it and give wrong values for the
 * internal IOCTL codes in their hidclass.h, which is therefore not included). */
#pragma once
#include <ddk/wdm.h>

#define HID_REVISION 0x00000001

typedef struct _HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION, *PHID_MINIDRIVER_REGISTRATION;

/* What hidclass puts at the start of the functional device object's extension. */
typedef struct _HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION, *PHID_DEVICE_EXTENSION;

typedef struct _HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES, *PHID_DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct _HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    struct _HID_DESCRIPTOR_DESC_LIST {
        UCHAR bReportType;
        USHORT wReportLength;
    } DescriptorList[1];
} HID_DESCRIPTOR, *PHID_DESCRIPTOR;
#pragma pack(pop)

typedef struct _HID_XFER_PACKET {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} HID_XFER_PACKET, *PHID_XFER_PACKET;

#define HID_HID_DESCRIPTOR_TYPE 0x21
#define HID_REPORT_DESCRIPTOR_TYPE 0x22

#define HID_STRING_ID_IMANUFACTURER 14
#define HID_STRING_ID_IPRODUCT 15
#define HID_STRING_ID_ISERIALNUMBER 16

#define KBDSIM_HID_CTL_CODE(id) \
    CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define KBDSIM_IOCTL_HID_GET_DEVICE_DESCRIPTOR KBDSIM_HID_CTL_CODE(0)
#define KBDSIM_IOCTL_HID_GET_REPORT_DESCRIPTOR KBDSIM_HID_CTL_CODE(1)
#define KBDSIM_IOCTL_HID_READ_REPORT KBDSIM_HID_CTL_CODE(2)
#define KBDSIM_IOCTL_HID_WRITE_REPORT KBDSIM_HID_CTL_CODE(3)
#define KBDSIM_IOCTL_HID_GET_STRING KBDSIM_HID_CTL_CODE(4)
#define KBDSIM_IOCTL_HID_ACTIVATE_DEVICE KBDSIM_HID_CTL_CODE(7)
#define KBDSIM_IOCTL_HID_DEACTIVATE_DEVICE KBDSIM_HID_CTL_CODE(8)
#define KBDSIM_IOCTL_HID_GET_DEVICE_ATTRIBUTES KBDSIM_HID_CTL_CODE(9)

NTSTATUS NTAPI HidRegisterMinidriver(PHID_MINIDRIVER_REGISTRATION registration);
