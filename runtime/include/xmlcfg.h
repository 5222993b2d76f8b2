/* Configuration documents: XML access through the XML library loaded at run time, and the
 * encrypted configuration files with their AES wrappers over libcrypto loaded at run time.
 *
 * Part of libreadercore's interface (readercore.h includes it). The same code is also
 * built as a static library with hidden names, for libraries that carry their own copy;
 * that build defines XMLCFG_API empty.
 *
 * Nodes are the XML library's nodes; only their names, first children, next siblings,
 * texts and attributes are used. Where a node argument may be absent, NULL stands for the
 * document's root element. Element names are compared without regard to case, except
 * by XMLLoopReadAndProcess. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef XMLCFG_API
#define XMLCFG_API __attribute__((visibility("default")))
#endif

/* The XML library's node and document records (struct _xmlNode, struct _xmlDoc). An
 * attribute node returned by XMLGetAtter is passed where a node is taken. */
typedef struct _xmlNode XML_NODE;
typedef struct _xmlDoc XML_DOC;

/* Stored path: at most XML_PATH_MAX - 1 characters; a longer path is cut. */
#define XML_PATH_MAX 56

/* One open document. */
typedef struct XML_HANDLE {
    char path[XML_PATH_MAX]; /* the path it was opened from, for the caller */
    XML_DOC *doc;            /* owned by the handle */
    XML_NODE *root;          /* the root element, inside doc */
} XML_HANDLE;

#if defined(__LP64__)
#ifdef __cplusplus
static_assert(sizeof(XML_HANDLE) == 72, "XML handle layout");
#else
_Static_assert(sizeof(XML_HANDLE) == 72, "XML handle layout");
#endif
#endif

/* Buffers of the visiting operations: texts are cut to one byte less. */
#define XML_LOOP_TEXT_MAX 128
#define XML_SUBNAME_TEXT_MAX 512

/* Visit procedures. The texts are valid only during the call. */
typedef void (*XML_TEXT_PROC)(XML_NODE *node, char *text, void *arg);
typedef void (*XML_NAME_PROC)(XML_NODE *node, const char *name, void *arg);
typedef int (*XML_ATTR_PROC)(XML_NODE *node, char *attr, char *text, void *arg);

/* ---- Library and documents ---- */

/* Loads the XML library when not loaded: "libzptxml2.so" through the library search,
 * else "/system/lib64/libxml2.so". 0 when loaded, -1 when it cannot be. An operation whose
 * library function is absent answers its failure value. */
XMLCFG_API int XMLInit(void);
/* Unloads the library; call once no document is open. */
XMLCFG_API void XmlLibFree(void);
/* Parses a file (device path): a new handle, or NULL. */
XMLCFG_API XML_HANDLE *XMLOpen(const char *path);
/* Parses length bytes of buffer (UTF-8, blank texts dropped, no network): a new handle
 * whose path is path, or NULL (also for length 0). The buffer is not kept. */
XMLCFG_API XML_HANDLE *XMLOpenMem(const char *path, const char *buffer, int length);
/* Reads an encrypted configuration file, decrypts it under key_text and parses it: a new
 * handle, or NULL. */
XMLCFG_API XML_HANDLE *XMLOpenDecrypt(const char *path, const char *key_text);
/* Releases the document and the handle: 0, or -1 for NULL. */
XMLCFG_API int XMLClose(XML_HANDLE *handle);
/* Writes the document to path (device path): 0, or -1 for NULL or when the write fails. */
XMLCFG_API int XMLSave(XML_HANDLE *handle, const char *path);

/* ---- Searching ---- */

/* The first node named name below node, depth first in document order; NULL when none. */
XMLCFG_API XML_NODE *XMLFindCur(XML_HANDLE *handle, XML_NODE *node, const char *name);
/* The first direct child of node named name; NULL when none. */
XMLCFG_API XML_NODE *XMLFindCurOnce(XML_HANDLE *handle, XML_NODE *node, const char *name);

/* ---- Reading ----
 * Texts are copied without a terminator, at most capacity bytes (callers pass their
 * zeroed buffer's size less one); the result is the count copied, 0 when nothing was
 * found. */

/* The text of the first node named name (or of the first following sibling with a text).
 * With attr_name, that node and each following sibling are tested in turn: the first whose
 * attribute attr_name equals attr_value exactly gives its text. */
XMLCFG_API int XMLReadString(XML_HANDLE *handle, XML_NODE *node, const char *name, const char *attr_name,
                             const char *attr_value, char *out, int capacity);
/* As XMLReadString without the filter; with attr_name the found node's attribute text goes
 * to attr_out (at most attr_capacity bytes; one zero byte when the attribute is absent). */
XMLCFG_API int XMLReadStringGetNameValue(XML_HANDLE *handle, XML_NODE *node, const char *name,
                                         const char *attr_name, char *attr_out, int attr_capacity, char *out,
                                         int capacity);

/* ---- Visiting (proc NULL: a walk without effect) ---- */

/* proc (child, its text, arg) for each direct child named name that has a text. */
XMLCFG_API void XMLFindCurCallProc(XML_HANDLE *handle, XML_NODE *node, const char *name, XML_TEXT_PROC proc,
                                   void *arg);
/* proc (child, child's name, arg) for each child with content of the first direct child of
 * node named name; without name, of the root element. */
XMLCFG_API void XMLFindChildrenCallProc(XML_HANDLE *handle, XML_NODE *node, const char *name, XML_NAME_PROC proc,
                                        void *arg);
/* proc (child, attribute attr_name, text, arg) for each direct child not named "text";
 * texts cut to XML_SUBNAME_TEXT_MAX - 1 bytes. The last proc result; -1 when never called. */
XMLCFG_API int XMLFindCurCallProcForSubName(XML_HANDLE *handle, XML_NODE *node, const char *attr_name,
                                            XML_ATTR_PROC proc, void *arg);
/* proc (child, its name, arg) for each child with content of node: 0. */
XMLCFG_API int XMLGetChildrenInfo(XML_NODE *node, XML_NAME_PROC proc, void *arg);
/* proc (child, attribute attr_name, text, arg) for each direct child of node (required)
 * whose name equals name exactly; texts cut to XML_LOOP_TEXT_MAX - 1 bytes. Stops at the
 * first proc answering 0. The last proc result; -1 when never called. */
XMLCFG_API int XMLLoopReadAndProcess(XML_HANDLE *handle, XML_NODE *node, const char *name, const char *attr_name,
                                     XML_ATTR_PROC proc, void *arg);

/* ---- Single nodes ---- */

/* The attribute node, or NULL. */
XMLCFG_API XML_NODE *XMLGetAtter(XML_NODE *node, const char *attr_name);
/* The node's text, allocated by the library: the caller frees it. NULL when none. */
XMLCFG_API char *XMLNodeGetContent(XML_NODE *node);
/* As XMLNodeGetContent, and its length in bytes through length. NULL for NULL arguments. */
XMLCFG_API char *XMLGetContent(XML_NODE *node, int *length);
/* The number of children with content (children that have children of their own). */
XMLCFG_API int XMLGetChildrenCount(XML_NODE *node);
/* Sets the text of every direct child named name; saved only by XMLSave. */
XMLCFG_API void XMLSetCurNodeContent(XML_HANDLE *handle, XML_NODE *node, const char *name, const char *text);

/* ---- Encryption ----
 * AES-256 in ECB mode over every whole 16-byte block; a tail shorter than a block stays
 * as it is. The key is the key text (at most AES_KEY_TEXT_MAX characters) followed by zero
 * bytes up to 32. */

#define AES_KEY_TEXT_MAX 31

/* in and out hold at least length bytes. 1 when done; -1 for NULL arguments, a negative
 * length or a key text too long; -2 when libcrypto or its AES functions are not there.
 * Nothing is written unless the result is 1. */
XMLCFG_API int OpensslAesEncrypt(const uint8_t *in, int length, uint8_t *out, const char *key_text);
XMLCFG_API int OpensslAesDecrypt(const uint8_t *in, int length, uint8_t *out, const char *key_text);
/* Loads libcrypto when not loaded and binds its functions (absent ones stay empty). */
XMLCFG_API void openssl_lib_load(void);
/* Unloads libcrypto; the next wrapper call loads it again. */
XMLCFG_API void OpensslFree(void);

#ifdef __cplusplus
}
#endif
