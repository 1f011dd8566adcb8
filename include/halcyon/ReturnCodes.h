/*
 * Return codes of the HalcyonDLL verbs. A value is read together with the
 * verb that returned it: the unnamed codes mean different things in
 * different verbs (docs/return-codes.md lists them).
 */
#ifndef HALCYON_RETURNCODES_H
#define HALCYON_RETURNCODES_H

enum HalcyonReturnCode {
    RETURN_SUCCESS = 0,
    RETURN_UNABLE_OPEN_INI = 2,
    RETURN_IMAGE_NOTEXIST = 9,
    RETURN_MODULE_EXE = 11,
    RETURN_NO_STORE = 26,            /* plan record reader: no loaded plan given */
    RETURN_LOG_OPEN_FAILED = 27,     /* the log file could not be opened for appending */
    RETURN_MODULE_NONZERO_RETURN = 29,
    RETURN_IMAGE_DIR_NOT_EXIST = 33,
    RETURN_SOURCE_DIR_NOT_EXIST = 34,
    RETURN_DEST_DIR_NOT_EXIST = 35,
    RETURN_PERM_DIR_NOT_EXIST = 36,
    RETURN_TEMP_DIR_NOT_EXIST = 37,
    RETURN_WIMGAPI_ERROR = 41,
    RETURN_ERROR_LOAD_GENERIC_IMAGE = 42,
    RETURN_COPY_TEMP_WIM = 43,
    RETURN_GET_FREE_DISK_SPACE = 50,
    RETURN_DECRYPT_WIM = 53,
    RETURN_CHANGE_WIM_ATTR = 54,
    RETURN_FIND_WIM_MODULE = 55,
    RETURN_REGISTRY_WRITE = 59,      /* an installer-status item or installed-software mark could not be written */
    RETURN_UNKNOWN_INSTALLER_TYPE = 63,
    RETURN_COPY_FOLDER = 64,
    RETURN_INSERT_DISC = 66,
    RETURN_COPY_FILE = 69,
    RETURN_HALINI_NOEXIST = 70,
    RETURN_RCVINI_NOEXIST = 71,
    RETURN_CREATE_FOLDER = 72,
    RETURN_MOUNT_DIR_NOT_EXIST = 73,
    RETURN_UNKNOWN_TEMPORARY_VALUE = 96,
    RETURN_RECORD_END = 97,          /* the numbered section read holds "End" */
    RETURN_RECORD_INCOMPLETE = 98,   /* a required key is absent or too short */
    RETURN_FAILED_MATCH = 100,
    RETURN_GET_TEMP_PATH = 101,
    RETURN_APPLY_DIR_NOTEXIST = 102,
    RETURN_TOO_MANY_RELEASES = 104,
    RETURN_MISSING_NRVHDRCVINI = 116,
    RETURN_INI_BLANK_PARTID = 123,
    RETURN_REBOOT_REQUIRED = 1001,   /* ModSetupX: restart the machine and call again */

    /* Not a code of the verbs' own: a verb whose work is not built yet logs
     * its begin line and returns this. */
    RETURN_NOT_BUILT = 9000,
    /* An argument that would make the verb touch files outside the folders
     * it was given (".." components, absolute or drive paths where a relative
     * part is expected). */
    RETURN_UNSAFE_PATH = 9001,
    /* An unexpected internal failure (out of memory, a library exception)
     * caught at the verb's boundary. */
    RETURN_INTERNAL_ERROR = 9002,
    /* A module's VerificationType is not exactly "ReturnCode",
     * "VerCheckAfter" or "None": its result could not be judged. */
    RETURN_UNKNOWN_VERIFICATION_TYPE = 9010,
    /* The caller's output buffer is missing or too short for the answer. */
    RETURN_BUFFER_TOO_SMALL = 9011
};

#endif
