/* velmsim as a library: a model read from a file or a text, run with the
 * editions of velmprob, its samples and its reports. libvelmsim exports
 * these functions; the velmsim command is built on the same code, and the
 * Python package calls them through ctypes.
 *
 * A session is used from one thread at a time, but velmsim_interrupt, which
 * may be called from any thread while velmsim_run runs. Texts returned stay
 * valid until the next call on the same session, or its close. */
#ifndef VELMSIM_API_H
#define VELMSIM_API_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct velmsim_session velmsim_session;

/* The statuses. */
enum {
  VELMSIM_OK = 0,           /* read and planned, or run */
  VELMSIM_MODEL_ERROR = 2,  /* the model has errors: velmsim_messages, velmsim_diagnostics */
  VELMSIM_RUN_ERROR = 3,    /* an output was not a finite number: the same, located */
  VELMSIM_OPTION_ERROR = 4, /* an option cannot be taken: velmsim_messages says which */
  VELMSIM_LOAD_ERROR = 5,   /* an edition cannot be loaded or lacks an export */
  VELMSIM_INTERRUPTED = 6   /* velmsim_interrupt stopped the run */
};

/* Reads the model in the file `path`, or in `text` when it is not null
 * (`path` then names it in messages and locates the files it reads), and
 * plans it with the options in `options_json`, a JSON object or null: any of
 * iterations, seed, block, classes, tolerance, precision, percentiles (a
 * list), tornado (a number or "all"), threads, sampler ("threaded" or
 * "stats"), one_stream, repair. Null only when memory runs out. */
velmsim_session* velmsim_open(const char* path, const char* text, const char* options_json);

/* The session's status (above). */
int velmsim_status(const velmsim_session* s);

/* The messages as the velmsim command prints them, or "". */
const char* velmsim_messages(const velmsim_session* s);

/* Every located message as a JSON list of objects with file, line, column
 * (0 when the message concerns a whole file), message and warning. */
const char* velmsim_diagnostics(const velmsim_session* s);

/* Runs the model with the editions at these paths; the status. */
int velmsim_run(velmsim_session* s, const char* stats_library, const char* threaded_library);

/* Asks a run in progress to stop at the end of its block. */
void velmsim_interrupt(velmsim_session* s);

/* The iterations run, and the columns of the samples: the CSV report's,
 * after its iteration number. velmsim_column_values writes column k's
 * values, one per iteration, to `out`; it returns the count written, or -1
 * for a column that does not exist. */
int velmsim_iterations(const velmsim_session* s);
int velmsim_column_count(const velmsim_session* s);
const char* velmsim_column_name(const velmsim_session* s, int k);
int velmsim_column_values(const velmsim_session* s, int k, float* out);

/* A report of the run: "json", "text", "html" or "csv"; null before a run
 * is done or for another format. */
const char* velmsim_report(velmsim_session* s, const char* format);

/* Compares two models on common random numbers, as `velmsim compare A B`:
 * each is a path, with its text or null. The session's reports are the
 * comparison's ("json", "text", "html"); it has no columns. */
velmsim_session* velmsim_compare(const char* path_a, const char* text_a, const char* path_b,
                                 const char* text_b, const char* options_json,
                                 const char* stats_library, const char* threaded_library);

void velmsim_close(velmsim_session* s);

/* velmsim's version. */
const char* velmsim_api_version(void);

#ifdef __cplusplus
}
#endif

#endif
