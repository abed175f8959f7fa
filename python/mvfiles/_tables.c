/* Reads the library's whole file table into Python records in one call.
 *
 * Built against the stable ABI, so one build serves every CPython 3.8 and
 * later. The module does not link against the library: the binding hands it
 * the addresses of the getters of the library it loaded (see NEEDS), so it
 * reads exactly the state the binding talks to. The caller holds the
 * binding's lock and the GIL for the whole call, and nothing here releases
 * the GIL. */
#define Py_LIMITED_API 0x03080000
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <stdint.h>
#include <string.h>

typedef void (*any_fn)(void);
typedef int32_t (*count_fn)(void);
typedef const char *(*text_fn)(int32_t);
typedef int64_t (*i64_fn)(int32_t);
typedef int32_t (*i32_fn)(int32_t);
typedef const char *(*entry_text_fn)(int32_t, int32_t);
typedef int32_t (*entry_i32_fn)(int32_t, int32_t);

/* The export names, without "mvfiles_", in the order bind() takes their
 * addresses. The first ten are the file texts, in the order of TEXT_KEYS. */
static const char *const NEEDS[] = {
    "key", "imdb", "parent_key", "filename", "path", "extension", "subtitle_languages",
    "subtitle_language_titles", "created", "record_updated",
    "count", "size", "duration_seconds", "season", "episode", "is_hdr", "is_hevc", "is_dolby",
    "subtitle_count", "audio_channels", "video_width", "video_height",
    "entry_count", "entry_uri", "entry_url", "entry_is_active", "entry_content_source",
    "file_json"};
#define N_NEEDS (sizeof NEEDS / sizeof NEEDS[0])
#define N_TEXTS 10

static const char *const TEXT_KEYS[N_TEXTS] = {
    "key", "imdb_id", "parent_key", "file_name", "path", "extension", "subtitle_languages",
    "subtitle_language_titles", "created", "record_updated"};
/* Numbers, in NEEDS order from "size"; how each one reads is in read_file. */
static const char *const NUMBER_KEYS[] = {
    "size", "duration_seconds", "season", "episode", "hdr", "hevc", "dolby_atmos",
    "subtitle_count", "audio_channels", "video_width", "video_height"};
#define N_NUMBERS (sizeof NUMBER_KEYS / sizeof NUMBER_KEYS[0])
static const char *const ENTRY_KEYS[] = {"uri", "url", "active", "content_source"};

static struct {
    any_fn fn[N_NEEDS];
    PyObject *file_type, *entry_type;
    PyObject *text_keys[N_TEXTS], *number_keys[N_NUMBERS], *entry_keys[4];
    PyObject *k_index, *k_entries, *k_table, *k_json, *k_dict, *empty;
    /* Every attribute of a File and of an Entry, set to None: copying one is
     * cheaper than growing a new dict key by key. */
    PyObject *file_attrs, *entry_attrs;
    PyObject *gc_enable, *gc_disable, *gc_isenabled;
} S;

/* Positions in NEEDS; the numbers are read as F_SIZE + k. */
enum { F_COUNT = N_TEXTS, F_SIZE, F_ENTRY_COUNT = F_SIZE + N_NUMBERS, F_ENTRY_URI, F_ENTRY_URL,
       F_ENTRY_ACTIVE, F_ENTRY_SOURCE, F_JSON, F_END };
/* Fails to compile when NEEDS and the positions above part ways. */
typedef char needs_match_positions[F_END == N_NEEDS ? 1 : -1];

/* A library text as str; None for NULL. Texts that are not UTF-8 are read
 * with replacement characters, as the ctypes path reads them. */
static PyObject *text(const char *s) {
    if (!s) Py_RETURN_NONE;
    return PyUnicode_DecodeUTF8(s, (Py_ssize_t)strlen(s), "replace");
}

static PyObject *none_if_negative(int64_t v) {
    if (v < 0) Py_RETURN_NONE;
    return PyLong_FromLongLong(v);
}

static PyObject *flag(int32_t v) {
    if (v < 0) Py_RETURN_NONE;
    return PyBool_FromLong(v == 1);
}

/* Moves a new reference into the dict; 0 on success. */
static int put(PyObject *d, PyObject *key, PyObject *value) {
    if (!value) return -1;
    int r = PyDict_SetItem(d, key, value);
    Py_DECREF(value);
    return r;
}

/* An instance of a frozen dataclass with the given attributes, made without
 * running its __init__ (whose frozen checks are what cost most). */
static PyObject *record(PyObject *type, PyObject *attrs) {
    PyObject *obj = PyType_GenericNew((PyTypeObject *)type, S.empty, NULL);
    if (obj && PyObject_GenericSetAttr(obj, S.k_dict, attrs) < 0) Py_CLEAR(obj);
    Py_DECREF(attrs);
    return obj;
}

static PyObject *read_entries(int32_t i) {
    int32_t n = ((i32_fn)S.fn[F_ENTRY_COUNT])(i);
    PyObject *t = PyTuple_New(n > 0 ? n : 0);
    for (int32_t e = 0; t && e < n; e++) {
        PyObject *d = PyDict_Copy(S.entry_attrs);
        if (!d || put(d, S.entry_keys[0], text(((entry_text_fn)S.fn[F_ENTRY_URI])(i, e))) ||
            put(d, S.entry_keys[1], text(((entry_text_fn)S.fn[F_ENTRY_URL])(i, e))) ||
            put(d, S.entry_keys[2], PyBool_FromLong(((entry_i32_fn)S.fn[F_ENTRY_ACTIVE])(i, e) == 1)) ||
            put(d, S.entry_keys[3], none_if_negative(((entry_i32_fn)S.fn[F_ENTRY_SOURCE])(i, e)))) {
            Py_XDECREF(d);
            Py_CLEAR(t);
            break;
        }
        PyObject *entry = record(S.entry_type, d);
        if (!entry || PyTuple_SetItem(t, e, entry) < 0) Py_CLEAR(t);
    }
    return t;
}

static PyObject *read_file(int32_t i, PyObject *table) {
    PyObject *d = PyDict_Copy(S.file_attrs);
    if (!d) return NULL;
    if (put(d, S.k_index, PyLong_FromLong(i))) goto fail;
    for (int k = 0; k < N_TEXTS; k++)
        if (put(d, S.text_keys[k], text(((text_fn)S.fn[k])(i)))) goto fail;
    for (size_t k = 0; k < N_NUMBERS; k++) {
        any_fn fn = S.fn[F_SIZE + k];
        PyObject *v;
        if (k < 2) v = PyLong_FromLongLong(((i64_fn)fn)(i));
        else if (k < 4) v = none_if_negative(((i32_fn)fn)(i));
        else if (k < 7) v = flag(((i32_fn)fn)(i));
        else v = PyLong_FromLong(((i32_fn)fn)(i));
        if (put(d, S.number_keys[k], v)) goto fail;
    }
    if (put(d, S.k_entries, read_entries(i))) goto fail;
    if (PyDict_SetItem(d, S.k_table, table) < 0) goto fail;
    return record(S.file_type, d);
fail:
    Py_DECREF(d);
    return NULL;
}

static PyObject *m_bind(PyObject *self, PyObject *args) {
    PyObject *addresses, *file_type, *entry_type;
    (void)self;
    if (!PyArg_ParseTuple(args, "O!O!O!", &PyTuple_Type, &addresses, &PyType_Type, &file_type,
                          &PyType_Type, &entry_type))
        return NULL;
    if (PyTuple_Size(addresses) != (Py_ssize_t)N_NEEDS) {
        PyErr_SetString(PyExc_ValueError, "one address per name in NEEDS");
        return NULL;
    }
    /* Every address is checked before any is taken: a refused call leaves
     * the previous binding whole. */
    any_fn fn[N_NEEDS];
    for (size_t k = 0; k < N_NEEDS; k++) {
        PyObject *a = PyTuple_GetItem(addresses, (Py_ssize_t)k);
        unsigned long long p = a ? PyLong_AsUnsignedLongLong(a) : 0;
        if (!p || PyErr_Occurred()) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "null address");
            return NULL;
        }
        fn[k] = (any_fn)(uintptr_t)p;
    }
    memcpy(S.fn, fn, sizeof fn);
    PyObject *old_file = S.file_type, *old_entry = S.entry_type;
    Py_INCREF(file_type);
    Py_INCREF(entry_type);
    S.file_type = file_type;
    S.entry_type = entry_type;
    Py_XDECREF(old_file);
    Py_XDECREF(old_entry);
    Py_RETURN_NONE;
}

/* read_files(table): every file of the table, as File records whose _table
 * is the given token. */
static PyObject *m_read_files(PyObject *self, PyObject *table) {
    (void)self;
    if (!S.file_type) {
        PyErr_SetString(PyExc_RuntimeError, "bind() was not called");
        return NULL;
    }
    /* Nothing made here becomes garbage before the call returns (the cycle
     * record, table token, state, records closes only afterwards), so a
     * collection while a large table is read would free nothing and only
     * walk the growing list again and again. */
    PyObject *was = PyObject_CallObject(S.gc_isenabled, NULL);
    if (!was) return NULL;
    PyObject *r = PyObject_CallObject(S.gc_disable, NULL);
    Py_XDECREF(r);
    int32_t n = ((count_fn)S.fn[F_COUNT])();
    PyObject *list = r ? PyList_New(n > 0 ? n : 0) : NULL;
    for (int32_t i = 0; list && i < n; i++) {
        PyObject *f = read_file(i, table);
        if (!f || PyList_SetItem(list, i, f) < 0) Py_CLEAR(list);
    }
    if (was == Py_True) {
        /* Keeps a pending exception across the call. */
        PyObject *type, *value, *trace;
        PyErr_Fetch(&type, &value, &trace);
        r = PyObject_CallObject(S.gc_enable, NULL);
        Py_XDECREF(r);
        if (r) PyErr_Restore(type, value, trace);
        else {
            Py_XDECREF(type);
            Py_XDECREF(value);
            Py_XDECREF(trace);
            Py_CLEAR(list);
        }
    }
    Py_DECREF(was);
    return list;
}

/* The JSON text of file i of the current table (None when the library could
 * not produce it). */
static PyObject *file_json(int32_t i) { return text(((text_fn)S.fn[F_JSON])(i)); }

/* retire(records): before the table they were read from goes away, gives
 * every record that is still held outside this list, and whose JSON was
 * never read, its JSON text. A record only this list holds can never be
 * read again, so it costs nothing. */
static PyObject *m_retire(PyObject *self, PyObject *records) {
    (void)self;
    if (!PyList_Check(records)) {
        PyErr_SetString(PyExc_TypeError, "records must be a list");
        return NULL;
    }
    Py_ssize_t n = PyList_Size(records);
    for (Py_ssize_t k = 0; k < n; k++) {
        PyObject *rec = PyList_GetItem(records, k);
        if (!rec) return NULL;
        if (Py_REFCNT(rec) < 2) continue;
        PyObject *d = PyObject_GetAttr(rec, S.k_dict);
        if (!d) return NULL;
        int r = 0;
        if (!PyDict_GetItemWithError(d, S.k_json)) {
            r = -1;
            PyObject *index = PyErr_Occurred() ? NULL : PyDict_GetItemWithError(d, S.k_index);
            long i = index ? PyLong_AsLong(index) : -1;
            if (index && !PyErr_Occurred()) r = put(d, S.k_json, file_json((int32_t)i));
        }
        Py_DECREF(d);
        if (r < 0) return NULL;
    }
    Py_RETURN_NONE;
}

static PyObject *m_file_json(PyObject *self, PyObject *arg) {
    (void)self;
    long i = PyLong_AsLong(arg);
    if (i == -1 && PyErr_Occurred()) return NULL;
    return file_json((int32_t)i);
}

static PyMethodDef methods[] = {
    {"bind", m_bind, METH_VARARGS, "bind(addresses, File, Entry): the getters to read through."},
    {"read_files", m_read_files, METH_O, "read_files(table): the file table as File records."},
    {"retire", m_retire, METH_O, "retire(records): JSON for the records still held elsewhere."},
    {"file_json", m_file_json, METH_O, "file_json(i): file i as JSON text, or None."},
    {NULL, NULL, 0, NULL}};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "_tables", NULL, -1, methods,
                                    NULL, NULL, NULL, NULL};

static PyObject *intern_all(PyObject **out, const char *const *names, size_t n) {
    for (size_t k = 0; k < n; k++)
        if (!(out[k] = PyUnicode_InternFromString(names[k]))) return NULL;
    return Py_None;
}

static int all_none(PyObject *d, PyObject *const *keys, size_t n) {
    for (size_t k = 0; k < n; k++)
        if (PyDict_SetItem(d, keys[k], Py_None) < 0) return -1;
    return 0;
}

static int make_templates(void) {
    PyObject *rest[] = {S.k_index, S.k_entries, S.k_table};
    PyObject *gc = PyImport_ImportModule("gc");
    if (!gc) return -1;
    S.gc_enable = PyObject_GetAttrString(gc, "enable");
    S.gc_disable = PyObject_GetAttrString(gc, "disable");
    S.gc_isenabled = PyObject_GetAttrString(gc, "isenabled");
    Py_DECREF(gc);
    if (!S.gc_enable || !S.gc_disable || !S.gc_isenabled) return -1;
    if (!(S.file_attrs = PyDict_New()) || !(S.entry_attrs = PyDict_New())) return -1;
    return all_none(S.file_attrs, rest, 3) || all_none(S.file_attrs, S.text_keys, N_TEXTS) ||
                   all_none(S.file_attrs, S.number_keys, N_NUMBERS) ||
                   all_none(S.entry_attrs, S.entry_keys, 4)
               ? -1
               : 0;
}

PyMODINIT_FUNC PyInit__tables(void) {
    PyObject *m = PyModule_Create(&module);
    if (!m) return NULL;
    PyObject *needs = PyTuple_New((Py_ssize_t)N_NEEDS);
    for (size_t k = 0; needs && k < N_NEEDS; k++)
        if (PyTuple_SetItem(needs, (Py_ssize_t)k, PyUnicode_FromString(NEEDS[k])) < 0) Py_CLEAR(needs);
    if (needs && PyModule_AddObject(m, "NEEDS", needs) < 0) Py_CLEAR(needs);
    if (!needs || !intern_all(S.text_keys, TEXT_KEYS, N_TEXTS) ||
        !intern_all(S.number_keys, NUMBER_KEYS, N_NUMBERS) ||
        !intern_all(S.entry_keys, ENTRY_KEYS, 4) ||
        !(S.k_index = PyUnicode_InternFromString("index")) ||
        !(S.k_entries = PyUnicode_InternFromString("entries")) ||
        !(S.k_table = PyUnicode_InternFromString("_table")) ||
        !(S.k_json = PyUnicode_InternFromString("json")) ||
        !(S.k_dict = PyUnicode_InternFromString("__dict__")) || !(S.empty = PyTuple_New(0)) ||
        make_templates() < 0) {
        Py_DECREF(m);
        return NULL;
    }
    return m;
}
