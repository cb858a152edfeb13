/* kbdsim_bus.sys: a test-only bus driver that presents kbdsim's keyboards to Wine's Plug and Play
 * manager as USB-like HID devices. It is root-enumerated; its children stand for one USB
 * interface each (the keyboard's boot keyboard collection and its vendor-defined collection),
 * carry the keyboard's vendor and product ID, and answer the HID minidriver requests that
 * kbdsim_hid.sys passes down from hidclass.sys. A vendor child forwards every output report to
 * kbdsim's interface pipe and completes pending reads with what kbdsim sends back.
 *
 * Which children exist is set by the bridge (hidstack_bridge.exe) through the control interface
 * registered on the root device; a vendor child whose pipe breaks (kbdsim unplugged it) leaves
 * the bus at once. Either way the bus invalidates its relations, and Plug and Play removes or
 * adds the devices as it would for a real keyboard. */
#include <ddk/ntifs.h>

#include "tests/hidstack/win32/bus_control.h"
#include "tests/hidstack/win32/hid_minidriver_interface.h"

/* A report on kbdsim's pipe: the report ID (always 0) and the 37 bytes of the report itself. */
#define PIPE_REPORT_BYTES 38
#define DEVICE_REPORT_BYTES (PIPE_REPORT_BYTES - 1)
#define QUEUED_REPORTS 32
#define PIPE_OPEN_ATTEMPTS 100
#define PIPE_OPEN_PAUSE_MS 20
#define READER_POLL_MS 50
#define WRITE_TIMEOUT_MS 2000
#define UNPLUG_DRAIN_PAUSE_MS 5
#define UNPLUG_DRAIN_LIMIT_MS 1000
#define UNPLUG_READ_GRACE_MS 50

static const GUID control_interface_guid = KBDSIM_BUS_CONTROL_GUID_INIT;

/* Vendor-defined collection: usage page 0xFF01, usage 1, 37-byte input and output reports
 * without a report ID (38 bytes each as HidP_GetCaps counts them, with the ID byte). */
static const UCHAR vendor_report_descriptor[] = {
    0x06, 0x01, 0xFF, /* Usage Page (0xFF01) */
    0x09, 0x01,       /* Usage (1) */
    0xA1, 0x01,       /* Collection (Application) */
    0x15, 0x00,       /*   Logical Minimum (0) */
    0x26, 0xFF, 0x00, /*   Logical Maximum (255) */
    0x75, 0x08,       /*   Report Size (8) */
    0x95, 0x25,       /*   Report Count (37) */
    0x19, 0x01,       /*   Usage Minimum (1) */
    0x29, 0x02,       /*   Usage Maximum (2) */
    0x81, 0x02,       /*   Input (Data, Variable, Absolute) */
    0x09, 0x01,       /*   Usage (1) */
    0x95, 0x25,       /*   Report Count (37) */
    0x91, 0x02,       /*   Output (Data, Variable, Absolute) */
    0xC0,             /* End Collection */
};

/* A standard boot keyboard: 8-byte input report (modifiers, reserved, six key codes) and a
 * 1-byte LED output report, no report ID. */
static const UCHAR keyboard_report_descriptor[] = {
    0x05, 0x01, /* Usage Page (Generic Desktop) */
    0x09, 0x06, /* Usage (Keyboard) */
    0xA1, 0x01, /* Collection (Application) */
    0x05, 0x07, /*   Usage Page (Keyboard) */
    0x19, 0xE0, /*   Usage Minimum (0xE0) */
    0x29, 0xE7, /*   Usage Maximum (0xE7) */
    0x15, 0x00, /*   Logical Minimum (0) */
    0x25, 0x01, /*   Logical Maximum (1) */
    0x75, 0x01, /*   Report Size (1) */
    0x95, 0x08, /*   Report Count (8) */
    0x81, 0x02, /*   Input (Data, Variable, Absolute) */
    0x95, 0x01, /*   Report Count (1) */
    0x75, 0x08, /*   Report Size (8) */
    0x81, 0x01, /*   Input (Constant) */
    0x95, 0x05, /*   Report Count (5) */
    0x75, 0x01, /*   Report Size (1) */
    0x05, 0x08, /*   Usage Page (LEDs) */
    0x19, 0x01, /*   Usage Minimum (1) */
    0x29, 0x05, /*   Usage Maximum (5) */
    0x91, 0x02, /*   Output (Data, Variable, Absolute) */
    0x95, 0x01, /*   Report Count (1) */
    0x75, 0x03, /*   Report Size (3) */
    0x91, 0x01, /*   Output (Constant) */
    0x95, 0x06, /*   Report Count (6) */
    0x75, 0x08, /*   Report Size (8) */
    0x15, 0x00, /*   Logical Minimum (0) */
    0x25, 0x65, /*   Logical Maximum (0x65) */
    0x05, 0x07, /*   Usage Page (Keyboard) */
    0x19, 0x00, /*   Usage Minimum (0) */
    0x29, 0x65, /*   Usage Maximum (0x65) */
    0x81, 0x00, /*   Input (Data, Array) */
    0xC0,       /* End Collection */
};

struct common_extension {
    BOOLEAN is_child;
};

struct child_extension {
    struct common_extension common;
    struct kbdsim_bus_device device;
    DEVICE_OBJECT* self;
    BOOLEAN reported; /* still among the bus's relations */
    BOOLEAN started;

    KSPIN_LOCK lock; /* guards pending_reads, the queue and `gone` */
    LIST_ENTRY pending_reads;
    BOOLEAN gone; /* left the bus: reads and writes fail */
    UCHAR queue[QUEUED_REPORTS][DEVICE_REPORT_BYTES];
    ULONG queue_first, queue_count;

    HANDLE pipe; /* NULL for a keyboard collection, which has no pipe */
    HANDLE write_event;
    FAST_MUTEX write_lock;
    HANDLE reader;
    volatile LONG stop_reader;
};

struct bus_state {
    DEVICE_OBJECT* fdo;
    DEVICE_OBJECT* pdo;
    DEVICE_OBJECT* lower;
    UNICODE_STRING control_link;
    FAST_MUTEX lock; /* guards children and pipe_name */
    DEVICE_OBJECT* children[KBDSIM_BUS_MAX_DEVICES];
    ULONG child_count;
    WCHAR pipe_name[KBDSIM_BUS_PIPE_NAME_CHARS];
};

static struct bus_state bus;

static void reader_thread(void* context);

static NTSTATUS complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static void sleep_ms(LONG ms) {
    LARGE_INTEGER interval;
    interval.QuadPart = -10000LL * ms;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

/* ---- text helpers (no C runtime in a driver) ---- */

static void append_text(WCHAR* buffer, ULONG capacity, ULONG* length, const WCHAR* text) {
    while (*text && *length + 1 < capacity)
        buffer[(*length)++] = *text++;
    buffer[*length] = 0;
}

static void append_number(WCHAR* buffer, ULONG capacity, ULONG* length, ULONG value, int base,
                          int digits) {
    WCHAR text[12];
    int count = 0;
    do {
        ULONG digit = value % base;
        text[count++] = (WCHAR)(digit < 10 ? L'0' + digit : L'A' + digit - 10);
        value /= base;
    } while ((value || count < digits) && count < 11);
    while (count && *length + 1 < capacity)
        buffer[(*length)++] = text[--count];
    buffer[*length] = 0;
}

/* "KBDSIMBUS\VID_1FF3&PID_0001&MI_01": hidclass makes the HID device ID of it by taking the part
 * after the bus name, as for a USB device. */
static ULONG child_device_id(const struct kbdsim_bus_device* device, WCHAR* buffer,
                             ULONG capacity) {
    ULONG length = 0;
    append_text(buffer, capacity, &length, L"KBDSIMBUS\\VID_");
    append_number(buffer, capacity, &length, device->vendor_id, 16, 4);
    append_text(buffer, capacity, &length, L"&PID_");
    append_number(buffer, capacity, &length, device->product_id, 16, 4);
    append_text(buffer, capacity, &length, L"&MI_0");
    append_number(buffer, capacity, &length, kbdsim_bus_interface_number(device->kind), 10, 1);
    return length;
}

/* ---- kbdsim's interface pipe ---- */

static NTSTATUS open_interface_pipe(const WCHAR* pipe_name, ULONG interface_id, HANDLE* pipe) {
    WCHAR path[160];
    ULONG length = 0;
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    FILE_PIPE_INFORMATION mode;
    NTSTATUS status = STATUS_OBJECT_NAME_NOT_FOUND;
    int attempt;

    append_text(path, ARRAYSIZE(path), &length, L"\\??\\pipe\\");
    append_text(path, ARRAYSIZE(path), &length, pipe_name);
    append_text(path, ARRAYSIZE(path), &length, L".if");
    append_number(path, ARRAYSIZE(path), &length, interface_id, 10, 1);
    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);

    /* kbdsim keeps an instance listening at all times, but all may be taken for a moment. */
    for (attempt = 0; attempt < PIPE_OPEN_ATTEMPTS; ++attempt) {
        status = ZwCreateFile(pipe, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &attributes, &io,
                              NULL, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                              FILE_NON_DIRECTORY_FILE, NULL, 0);
        if (status != STATUS_PIPE_NOT_AVAILABLE && status != STATUS_INSTANCE_NOT_AVAILABLE &&
            status != STATUS_PIPE_BUSY)
            break;
        sleep_ms(PIPE_OPEN_PAUSE_MS);
    }
    if (!NT_SUCCESS(status))
        return status;

    mode.ReadMode = FILE_PIPE_MESSAGE_MODE;
    mode.CompletionMode = FILE_PIPE_QUEUE_OPERATION;
    status = ZwSetInformationFile(*pipe, &io, &mode, sizeof(mode), FilePipeInformation);
    if (!NT_SUCCESS(status)) {
        ZwClose(*pipe);
        *pipe = NULL;
    }
    return status;
}

/* ---- pending reads and queued reports of a child ---- */

static void read_cancelled(DEVICE_OBJECT* device, IRP* irp) {
    struct child_extension* child = device->DeviceExtension;
    KIRQL irql;

    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&child->lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&child->lock, irql);
    complete(irp, STATUS_CANCELLED, 0);
}

/* The next pending read that can still be completed, taken off the list; NULL when none. Called
 * with the child's lock held. */
static IRP* take_pending_read(struct child_extension* child) {
    while (!IsListEmpty(&child->pending_reads)) {
        LIST_ENTRY* entry = RemoveHeadList(&child->pending_reads);
        IRP* irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, NULL))
            return irp;
        /* Its cancel routine runs and removes it: leave it an entry to remove. */
        InitializeListHead(&irp->Tail.Overlay.ListEntry);
    }
    return NULL;
}

static NTSTATUS copy_report(IRP* irp, const UCHAR* report) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < DEVICE_REPORT_BYTES)
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, report, DEVICE_REPORT_BYTES);
    return complete(irp, STATUS_SUCCESS, DEVICE_REPORT_BYTES);
}

/* A report from the device: to a pending read, or queued (the oldest dropped when full, as a
 * device's buffer overflows). */
static void deliver_report(struct child_extension* child, const UCHAR* report) {
    IRP* irp;
    KIRQL irql;

    KeAcquireSpinLock(&child->lock, &irql);
    irp = take_pending_read(child);
    if (!irp) {
        ULONG slot;
        if (child->queue_count == QUEUED_REPORTS) {
            child->queue_first = (child->queue_first + 1) % QUEUED_REPORTS;
            --child->queue_count;
        }
        slot = (child->queue_first + child->queue_count) % QUEUED_REPORTS;
        RtlCopyMemory(child->queue[slot], report, DEVICE_REPORT_BYTES);
        ++child->queue_count;
    }
    KeReleaseSpinLock(&child->lock, irql);
    if (irp)
        copy_report(irp, report);
}

static NTSTATUS read_report(struct child_extension* child, IRP* irp) {
    UCHAR report[DEVICE_REPORT_BYTES];
    BOOLEAN have_report = FALSE;
    NTSTATUS status = STATUS_PENDING;
    KIRQL irql;

    KeAcquireSpinLock(&child->lock, &irql);
    if (child->gone) {
        status = STATUS_DELETE_PENDING;
    } else if (child->queue_count) {
        RtlCopyMemory(report, child->queue[child->queue_first], DEVICE_REPORT_BYTES);
        child->queue_first = (child->queue_first + 1) % QUEUED_REPORTS;
        --child->queue_count;
        have_report = TRUE;
    } else {
        IoSetCancelRoutine(irp, read_cancelled);
        if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
            status = STATUS_CANCELLED;
        } else {
            IoMarkIrpPending(irp);
            InsertTailList(&child->pending_reads, &irp->Tail.Overlay.ListEntry);
        }
    }
    KeReleaseSpinLock(&child->lock, irql);

    if (have_report)
        return copy_report(irp, report);
    if (status != STATUS_PENDING)
        return complete(irp, status, 0);
    return STATUS_PENDING;
}

/* The child left the bus: pending reads fail as they do when a device is removed, and so does
 * every read after. */
static void fail_reads(struct child_extension* child) {
    LIST_ENTRY failed;
    IRP* irp;
    KIRQL irql;

    InitializeListHead(&failed);
    KeAcquireSpinLock(&child->lock, &irql);
    child->gone = TRUE;
    child->queue_count = 0;
    while ((irp = take_pending_read(child)))
        InsertTailList(&failed, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&child->lock, irql);
    while (!IsListEmpty(&failed)) {
        irp = CONTAINING_RECORD(RemoveHeadList(&failed), IRP, Tail.Overlay.ListEntry);
        complete(irp, STATUS_DELETE_PENDING, 0);
    }
}

static NTSTATUS write_report(struct child_extension* child, IRP* irp) {
    HID_XFER_PACKET* packet = irp->UserBuffer;
    UCHAR frame[PIPE_REPORT_BYTES];
    IO_STATUS_BLOCK io;
    LARGE_INTEGER timeout;
    NTSTATUS status;

    if (!packet || !packet->reportBuffer)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    if (child->device.kind != KBDSIM_BUS_KIND_VENDOR)
        return complete(irp, STATUS_SUCCESS, packet->reportBufferLen); /* LEDs: nothing to do */
    if (child->gone || !child->pipe)
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    /* hidclass leaves out the report ID byte of a device without report IDs. */
    if (packet->reportId != 0 || packet->reportBufferLen != DEVICE_REPORT_BYTES)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);

    frame[0] = 0;
    RtlCopyMemory(frame + 1, packet->reportBuffer, DEVICE_REPORT_BYTES);
    ExAcquireFastMutex(&child->write_lock);
    status = ZwWriteFile(child->pipe, child->write_event, NULL, NULL, &io, frame, sizeof(frame),
                         NULL, NULL);
    if (status == STATUS_PENDING) {
        timeout.QuadPart = -10000LL * WRITE_TIMEOUT_MS;
        if (ZwWaitForSingleObject(child->write_event, FALSE, &timeout) != STATUS_SUCCESS) {
            IO_STATUS_BLOCK cancel_io;
            ZwCancelIoFile(child->pipe, &cancel_io);
            ZwWaitForSingleObject(child->write_event, FALSE, NULL);
        }
        status = io.Status;
    }
    ExReleaseFastMutex(&child->write_lock);
    if (!NT_SUCCESS(status))
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    return complete(irp, STATUS_SUCCESS, packet->reportBufferLen);
}

/* ---- children ---- */

static NTSTATUS start_reader(struct child_extension* child) {
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    return PsCreateSystemThread(&child->reader, THREAD_ALL_ACCESS, &attributes, NULL, NULL,
                                reader_thread, child);
}

static void stop_reader(struct child_extension* child) {
    if (!child->reader)
        return;
    InterlockedExchange(&child->stop_reader, 1);
    ZwWaitForSingleObject(child->reader, FALSE, NULL);
    ZwClose(child->reader);
    child->reader = NULL;
}

static void close_pipe(struct child_extension* child) {
    stop_reader(child);
    if (child->pipe)
        ZwClose(child->pipe);
    if (child->write_event)
        ZwClose(child->write_event);
    child->pipe = NULL;
    child->write_event = NULL;
}

/* A new child for `device`, with its pipe open when it is a vendor collection; NULL when the
 * pipe cannot be opened (kbdsim has unplugged it meanwhile) or memory is short. */
static DEVICE_OBJECT* create_child(const struct kbdsim_bus_device* device) {
    DEVICE_OBJECT* pdo;
    struct child_extension* child;
    HANDLE pipe = NULL;
    NTSTATUS status;

    if (device->kind == KBDSIM_BUS_KIND_VENDOR &&
        !NT_SUCCESS(open_interface_pipe(bus.pipe_name, device->interface_id, &pipe)))
        return NULL;

    status = IoCreateDevice(bus.fdo->DriverObject, sizeof(*child), NULL, FILE_DEVICE_BUS_EXTENDER,
                            FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &pdo);
    if (!NT_SUCCESS(status)) {
        if (pipe)
            ZwClose(pipe);
        return NULL;
    }
    child = pdo->DeviceExtension;
    RtlZeroMemory(child, sizeof(*child));
    child->common.is_child = TRUE;
    child->device = *device;
    child->self = pdo;
    child->reported = TRUE;
    KeInitializeSpinLock(&child->lock);
    InitializeListHead(&child->pending_reads);
    ExInitializeFastMutex(&child->write_lock);
    child->pipe = pipe;
    if (pipe) {
        if (!NT_SUCCESS(ZwCreateEvent(&child->write_event, EVENT_ALL_ACCESS, NULL,
                                      NotificationEvent, FALSE)) ||
            !NT_SUCCESS(start_reader(child))) {
            close_pipe(child);
            IoDeleteDevice(pdo);
            return NULL;
        }
    }
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return pdo;
}

static BOOLEAN same_device(const struct kbdsim_bus_device* a, const struct kbdsim_bus_device* b) {
    return a->interface_id == b->interface_id && a->vendor_id == b->vendor_id &&
           a->product_id == b->product_id && a->kind == b->kind;
}

/* Drops a child from the bus's relations (the caller holds the bus lock); Plug and Play removes
 * it after the relations are invalidated. */
static void drop_child(ULONG index) {
    struct child_extension* child = bus.children[index]->DeviceExtension;
    child->reported = FALSE;
    fail_reads(child);
    bus.children[index] = bus.children[--bus.child_count];
}

/* Waits (a bounded time) until hidclass has taken the queued reports, and then as long again
 * as a program needs to read them from hidclass. */
static void wait_until_reports_taken(struct child_extension* child) {
    int waited;
    for (waited = 0; waited < UNPLUG_DRAIN_LIMIT_MS && child->queue_count && !child->stop_reader;
         waited += UNPLUG_DRAIN_PAUSE_MS)
        sleep_ms(UNPLUG_DRAIN_PAUSE_MS);
    sleep_ms(UNPLUG_READ_GRACE_MS);
}

static void reader_thread(void* context) {
    struct child_extension* child = context;
    UCHAR frame[PIPE_REPORT_BYTES + 1];
    HANDLE event;
    NTSTATUS status;

    if (!NT_SUCCESS(ZwCreateEvent(&event, EVENT_ALL_ACCESS, NULL, NotificationEvent, FALSE)))
        PsTerminateSystemThread(STATUS_NO_MEMORY);

    while (!child->stop_reader) {
        IO_STATUS_BLOCK io;
        status = ZwReadFile(child->pipe, event, NULL, NULL, &io, frame, sizeof(frame), NULL, NULL);
        if (status == STATUS_PENDING) {
            LARGE_INTEGER poll;
            poll.QuadPart = -10000LL * READER_POLL_MS;
            while (ZwWaitForSingleObject(event, FALSE, &poll) != STATUS_SUCCESS) {
                if (child->stop_reader) {
                    IO_STATUS_BLOCK cancel_io;
                    ZwCancelIoFile(child->pipe, &cancel_io);
                    ZwWaitForSingleObject(event, FALSE, NULL);
                    break;
                }
            }
            status = io.Status;
        }
        if (child->stop_reader)
            break;
        if (status == STATUS_BUFFER_OVERFLOW)
            continue; /* longer than a report: not one */
        if (!NT_SUCCESS(status)) {
            /* kbdsim unplugged the keyboard (or ended): the device leaves the bus. A cable is
             * pulled after the keyboard's last report has reached the PC, so what kbdsim sent
             * before it left is handed on first. */
            BOOLEAN dropped = FALSE;
            ULONG i;
            wait_until_reports_taken(child);
            ExAcquireFastMutex(&bus.lock);
            for (i = 0; i < bus.child_count; ++i) {
                if (bus.children[i] == child->self) {
                    drop_child(i);
                    dropped = TRUE;
                    break;
                }
            }
            ExReleaseFastMutex(&bus.lock);
            if (dropped)
                IoInvalidateDeviceRelations(bus.pdo, BusRelations);
            break;
        }
        if (io.Information == PIPE_REPORT_BYTES && frame[0] == 0)
            deliver_report(child, frame + 1);
    }
    ZwClose(event);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static NTSTATUS set_devices(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    struct kbdsim_bus_devices* wanted = irp->AssociatedIrp.SystemBuffer;
    BOOLEAN changed = FALSE;
    ULONG i, j;

    if (stack->Parameters.DeviceIoControl.InputBufferLength != sizeof(*wanted) ||
        wanted->count > KBDSIM_BUS_MAX_DEVICES)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    for (j = 0; j < wanted->count; ++j) {
        if (wanted->devices[j].kind > KBDSIM_BUS_KIND_KEYBOARD_LAST)
            return complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    wanted->pipe_name[KBDSIM_BUS_PIPE_NAME_CHARS - 1] = 0;

    ExAcquireFastMutex(&bus.lock);
    /* Another kbdsim: every child goes, the new ones come. */
    for (i = 0; bus.pipe_name[i] == wanted->pipe_name[i] && bus.pipe_name[i]; ++i) {
    }
    if (bus.pipe_name[i] != wanted->pipe_name[i]) {
        while (bus.child_count)
            drop_child(0);
        RtlCopyMemory(bus.pipe_name, wanted->pipe_name, sizeof(bus.pipe_name));
        changed = TRUE;
    }
    for (i = 0; i < bus.child_count;) {
        struct child_extension* child = bus.children[i]->DeviceExtension;
        BOOLEAN keep = FALSE;
        for (j = 0; j < wanted->count; ++j)
            keep |= same_device(&child->device, &wanted->devices[j]);
        if (keep) {
            ++i;
        } else {
            drop_child(i);
            changed = TRUE;
        }
    }
    for (j = 0; j < wanted->count; ++j) {
        BOOLEAN present = FALSE;
        DEVICE_OBJECT* pdo;
        for (i = 0; i < bus.child_count; ++i)
            present |=
                same_device(&((struct child_extension*)bus.children[i]->DeviceExtension)->device,
                            &wanted->devices[j]);
        if (present || bus.child_count == KBDSIM_BUS_MAX_DEVICES)
            continue;
        if ((pdo = create_child(&wanted->devices[j]))) {
            bus.children[bus.child_count++] = pdo;
            changed = TRUE;
        }
    }
    ExReleaseFastMutex(&bus.lock);

    if (changed)
        IoInvalidateDeviceRelations(bus.pdo, BusRelations);
    return complete(irp, STATUS_SUCCESS, 0);
}

/* ---- the bus's own device (functional, on the root device) ---- */

static NTSTATUS bus_relations(IRP* irp) {
    DEVICE_RELATIONS* relations;
    ULONG i;

    ExAcquireFastMutex(&bus.lock);
    relations = ExAllocatePool(PagedPool, FIELD_OFFSET(DEVICE_RELATIONS, Objects) +
                                              sizeof(DEVICE_OBJECT*) * (bus.child_count + 1));
    if (relations) {
        relations->Count = bus.child_count;
        for (i = 0; i < bus.child_count; ++i) {
            relations->Objects[i] = bus.children[i];
            ObReferenceObject(bus.children[i]);
        }
    }
    ExReleaseFastMutex(&bus.lock);
    if (!relations)
        return complete(irp, STATUS_NO_MEMORY, 0);

    irp->IoStatus.Information = (ULONG_PTR)relations;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus.lower, irp);
}

static NTSTATUS bus_pnp(DEVICE_OBJECT* device, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;

    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE:
            IoSetDeviceInterfaceState(&bus.control_link, TRUE);
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == BusRelations)
                return bus_relations(irp);
            break;
        case IRP_MN_SURPRISE_REMOVAL:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        case IRP_MN_REMOVE_DEVICE:
            IoSetDeviceInterfaceState(&bus.control_link, FALSE);
            while (bus.child_count) {
                DEVICE_OBJECT* pdo;
                ExAcquireFastMutex(&bus.lock);
                pdo = bus.child_count ? bus.children[0] : NULL;
                if (pdo)
                    drop_child(0);
                ExReleaseFastMutex(&bus.lock);
                /* Outside the lock: a reader that found its pipe broken may be waiting for it. */
                if (pdo) {
                    close_pipe(pdo->DeviceExtension);
                    IoDeleteDevice(pdo);
                }
            }
            irp->IoStatus.Status = STATUS_SUCCESS;
            IoSkipCurrentIrpStackLocation(irp);
            status = IoCallDriver(bus.lower, irp);
            IoDetachDevice(bus.lower);
            RtlFreeUnicodeString(&bus.control_link);
            IoDeleteDevice(device);
            bus.fdo = NULL;
            return status;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus.lower, irp);
}

/* ---- a child's own requests (it is the physical device object: it completes them) ---- */

static NTSTATUS child_query_id(struct child_extension* child, IRP* irp, BUS_QUERY_ID_TYPE type) {
    const ULONG capacity = 128;
    WCHAR* id;
    ULONG length = 0;

    if (type != BusQueryDeviceID && type != BusQueryHardwareIDs && type != BusQueryCompatibleIDs &&
        type != BusQueryInstanceID)
        return complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    if (!(id = ExAllocatePool(PagedPool, capacity * sizeof(WCHAR))))
        return complete(irp, STATUS_NO_MEMORY, 0);
    RtlZeroMemory(id, capacity * sizeof(WCHAR));
    switch (type) {
        case BusQueryDeviceID:
        case BusQueryHardwareIDs: /* one ID, then the empty string that ends the list */
            child_device_id(&child->device, id, capacity - 1);
            break;
        case BusQueryCompatibleIDs:
            append_text(id, capacity - 1, &length, L"KBDSIMBUS\\KBDSIM_HID");
            break;
        default: /* instance: the interface id, unique on this bus */
            append_number(id, capacity - 1, &length, child->device.interface_id, 10, 1);
            break;
    }
    return complete(irp, STATUS_SUCCESS, (ULONG_PTR)id);
}

static NTSTATUS child_pnp(DEVICE_OBJECT* device, IRP* irp) {
    struct child_extension* child = device->DeviceExtension;
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);

    switch (stack->MinorFunction) {
        case IRP_MN_QUERY_ID:
            return child_query_id(child, irp, stack->Parameters.QueryId.IdType);
        case IRP_MN_QUERY_CAPABILITIES: {
            DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
            caps->Removable = 1;
            caps->SurpriseRemovalOK = 1;
            caps->UniqueID = 0;
            return complete(irp, STATUS_SUCCESS, 0);
        }
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
                DEVICE_RELATIONS* relations = ExAllocatePool(PagedPool, sizeof(*relations));
                if (!relations)
                    return complete(irp, STATUS_NO_MEMORY, 0);
                relations->Count = 1;
                relations->Objects[0] = device;
                ObReferenceObject(device);
                return complete(irp, STATUS_SUCCESS, (ULONG_PTR)relations);
            }
            break;
        case IRP_MN_START_DEVICE:
            child->started = TRUE;
            return complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_SURPRISE_REMOVAL:
            fail_reads(child);
            return complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
            return complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_REMOVE_DEVICE:
            fail_reads(child);
            child->started = FALSE;
            if (!child->reported) {
                /* Gone from the bus: the device object goes too. */
                close_pipe(child);
                complete(irp, STATUS_SUCCESS, 0);
                IoDeleteDevice(device);
                return STATUS_SUCCESS;
            }
            return complete(irp, STATUS_SUCCESS, 0);
    }
    return complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
}

static NTSTATUS child_string(struct child_extension* child, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG id = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
    ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const WCHAR* text;
    ULONG bytes;

    (void)child;
    if (id == HID_STRING_ID_IMANUFACTURER)
        text = L"kbdsim";
    else if (id == HID_STRING_ID_IPRODUCT)
        text = L"Simulated POS keyboard";
    else
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    for (bytes = sizeof(WCHAR); text[bytes / sizeof(WCHAR) - 1]; bytes += sizeof(WCHAR)) {
    }
    if (capacity < bytes)
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, text, bytes);
    return complete(irp, STATUS_SUCCESS, bytes);
}

static NTSTATUS copy_out(IRP* irp, const void* data, ULONG size) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < size)
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, data, size);
    return complete(irp, STATUS_SUCCESS, size);
}

static NTSTATUS child_hid_request(DEVICE_OBJECT* device, IRP* irp) {
    struct child_extension* child = device->DeviceExtension;
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    BOOLEAN keyboard = child->device.kind != KBDSIM_BUS_KIND_VENDOR;
    const UCHAR* report_descriptor =
        keyboard ? keyboard_report_descriptor : vendor_report_descriptor;
    USHORT report_descriptor_size =
        keyboard ? sizeof(keyboard_report_descriptor) : sizeof(vendor_report_descriptor);

    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case KBDSIM_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
            HID_DESCRIPTOR descriptor;
            RtlZeroMemory(&descriptor, sizeof(descriptor));
            descriptor.bLength = sizeof(descriptor);
            descriptor.bDescriptorType = HID_HID_DESCRIPTOR_TYPE;
            descriptor.bcdHID = 0x0111;
            descriptor.bNumDescriptors = 1;
            descriptor.DescriptorList[0].bReportType = HID_REPORT_DESCRIPTOR_TYPE;
            descriptor.DescriptorList[0].wReportLength = report_descriptor_size;
            return copy_out(irp, &descriptor, sizeof(descriptor));
        }
        case KBDSIM_IOCTL_HID_GET_REPORT_DESCRIPTOR:
            return copy_out(irp, report_descriptor, report_descriptor_size);
        case KBDSIM_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
            HID_DEVICE_ATTRIBUTES attributes;
            RtlZeroMemory(&attributes, sizeof(attributes));
            attributes.Size = sizeof(attributes);
            attributes.VendorID = child->device.vendor_id;
            attributes.ProductID = child->device.product_id;
            attributes.VersionNumber = 0x0100;
            return copy_out(irp, &attributes, sizeof(attributes));
        }
        case KBDSIM_IOCTL_HID_GET_STRING:
            return child_string(child, irp);
        case KBDSIM_IOCTL_HID_READ_REPORT:
            return read_report(child, irp);
        case KBDSIM_IOCTL_HID_WRITE_REPORT:
            return write_report(child, irp);
        case KBDSIM_IOCTL_HID_ACTIVATE_DEVICE:
        case KBDSIM_IOCTL_HID_DEACTIVATE_DEVICE:
            return complete(irp, STATUS_SUCCESS, 0);
    }
    return complete(irp, STATUS_NOT_SUPPORTED, 0);
}

/* ---- dispatch ---- */

static NTSTATUS dispatch_pnp(DEVICE_OBJECT* device, IRP* irp) {
    struct common_extension* common = device->DeviceExtension;
    return common->is_child ? child_pnp(device, irp) : bus_pnp(device, irp);
}

static NTSTATUS dispatch_create_close(DEVICE_OBJECT* device, IRP* irp) {
    (void)device;
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS dispatch_control(DEVICE_OBJECT* device, IRP* irp) {
    struct common_extension* common = device->DeviceExtension;
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (!common->is_child &&
        stack->Parameters.DeviceIoControl.IoControlCode == KBDSIM_BUS_IOCTL_SET_DEVICES)
        return set_devices(irp);
    return complete(irp, STATUS_NOT_SUPPORTED, 0);
}

static NTSTATUS dispatch_internal_control(DEVICE_OBJECT* device, IRP* irp) {
    struct common_extension* common = device->DeviceExtension;
    if (common->is_child)
        return child_hid_request(device, irp);
    return complete(irp, STATUS_NOT_SUPPORTED, 0);
}

static NTSTATUS add_device(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo) {
    struct common_extension* common;
    NTSTATUS status;

    if (bus.fdo)
        return STATUS_INVALID_DEVICE_REQUEST; /* one bus */
    status =
        IoCreateDevice(driver, sizeof(*common), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &bus.fdo);
    if (!NT_SUCCESS(status))
        return status;
    common = bus.fdo->DeviceExtension;
    common->is_child = FALSE;
    status = IoRegisterDeviceInterface(pdo, &control_interface_guid, NULL, &bus.control_link);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(bus.fdo);
        bus.fdo = NULL;
        return status;
    }
    bus.pdo = pdo;
    bus.lower = IoAttachDeviceToDeviceStack(bus.fdo, pdo);
    bus.fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void unload(DRIVER_OBJECT* driver) {
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registry_path) {
    (void)registry_path;
    ExInitializeFastMutex(&bus.lock);
    driver->DriverExtension->AddDevice = add_device;
    driver->DriverUnload = unload;
    driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create_close;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_create_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatch_internal_control;
    return STATUS_SUCCESS;
}
