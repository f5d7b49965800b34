// The host's user-function interface as the plug-in sees it.
//
// Every operation returns an int status, 0 meaning success. A non-zero status
// for which the host has a failure text can be turned into words with
// UF_get_fail_message. Tags are the host's 32-bit object identifiers; 0 is the
// null tag. Points are three doubles in the part's absolute coordinates.
//
// Model operations live in libufun, user-interface operations in libufui. The
// plug-in links both by name and knows nothing else of the host.
#pragma once

#include <cstdint>

#define UF_EXPORT extern "C"

typedef std::uint32_t tag_t;
#define NULL_TAG ((tag_t)0)

// Object types of the host. The selection masks name them.
#define UF_point_type 2
#define UF_line_type 3
#define UF_section_curves_type 15
#define UF_sheet_body_type 43
#define UF_datum_plane_type 46
#define UF_solid_body_type 70
#define UF_mesh_body_type 71
#define UF_facet_model_type 139

// Undo mark visibility.
#define UF_UNDO_visible 0
#define UF_UNDO_invisible 1
typedef int UF_UNDO_mark_id_t;

// Dialog and selection response codes.
#define UF_UI_BACK 1
#define UF_UI_CANCEL 2
#define UF_UI_OK 3

// What uc1603 returns for the first item of a menu; the item of index i
// (from 0) gives UF_UI_MENU_FIRST_ITEM + i.
#define UF_UI_MENU_FIRST_ITEM 5

// Widths of the fixed text fields of menus and value dialogs, terminator
// included.
#define UF_UI_MENU_ITEM_SIZE 38
#define UF_UI_LABEL_SIZE 16
// Size of a failure text, terminator included.
#define UF_UI_FAIL_MESSAGE_SIZE 133

// --- libufun: session, messages, system log -------------------------------

UF_EXPORT int UF_initialize(void);
UF_EXPORT int UF_terminate(void);
// Writes the host's text for `code` into `message` (at most
// UF_UI_FAIL_MESSAGE_SIZE bytes with the terminator). Returns 0 when the host
// has a text for the code; otherwise non-zero and `message` is empty.
UF_EXPORT int UF_get_fail_message(int code, char* message);
// Appends `text` to the system log. `flag` 0: as it stands.
UF_EXPORT int UF_print_syslog(const char* text, int flag);

// --- libufun: undo ------------------------------------------------------------

// visibility: UF_UNDO_visible or UF_UNDO_invisible; name may be NULL.
UF_EXPORT int UF_UNDO_set_mark(int visibility, const char* name, UF_UNDO_mark_id_t* mark_id);
// Removes every object created after the mark, restores what was deleted and
// moves back what was moved since; the mark and later marks are dropped.
UF_EXPORT int UF_UNDO_undo_to_mark(UF_UNDO_mark_id_t mark_id, const char* name);

// --- libufun: objects and geometry ---------------------------------------

// box: minimum X, Y, Z, then maximum X, Y, Z of the object's exact
// axis-aligned box.
UF_EXPORT int UF_MODL_ask_bounding_box(tag_t object, double box[6]);
// A datum plane through `origin` with the normal `normal`.
UF_EXPORT int UF_MODL_create_plane(double origin[3], double normal[3], tag_t* plane);
UF_EXPORT int UF_OBJ_delete_object(tag_t object);

UF_EXPORT int UF_CURVE_create_point(double point[3], tag_t* point_tag);

typedef struct UF_CURVE_line_s {
  double start_point[3];
  double end_point[3];
} UF_CURVE_line_t;
UF_EXPORT int UF_CURVE_create_line(UF_CURVE_line_t* line, tag_t* line_tag);

// Request of a planar section. The host reads:
//   associative  0: the curves are plain geometry, not updated with the body
//   grouping     1: all curves of the request come back as one object
//   joining      0: curves are not joined into chains
//   tolerance    the distance within which curve ends count as one point when
//                the host assembles the curves
typedef struct UF_CURVE_section_general_s {
  tag_t* objects;
  int num_objects;
  int associative;
  int grouping;
  int joining;
  double tolerance;
} UF_CURVE_section_general_data_t;

typedef struct UF_CURVE_section_planes_s {
  tag_t* planes;
  int num_planes;
} UF_CURVE_section_planes_data_t;

// Sections the objects by the planes. `section_curves` receives the tag of
// the object holding the curves, and is left untouched when the planes meet
// nothing.
UF_EXPORT int UF_CURVE_section_from_planes(UF_CURVE_section_general_data_t* general,
                                           UF_CURVE_section_planes_data_t* planes,
                                           tag_t* section_curves);

// --- libufun: facet models --------------------------------------------------

// The host's faceting settings. The byte offsets are part of the interface.
typedef struct UF_FACET_parameters_s {
  int layout_version;            //   0  -2: the current layout
  int max_corners;               //   4  corners per facet, at most
  bool use_surface_chord;        //   8  surface_chord holds an absolute chord
  double surface_chord;          //  16  largest distance facet to surface
  double surface_angle;          //  24  largest angle between facet normals, radians
  bool use_curve_chord;          //  32  curve_chord holds an absolute chord
  double curve_chord;            //  40  largest distance edge segment to edge
  double curve_angle;            //  48  largest turn along an edge, radians
  double curve_max_length;       //  56  longest edge segment
  bool convex_facets;            //  64  facets are convex
  bool use_max_facet_size;       //  65  max_facet_size applies
  double max_facet_size;         //  72  longest facet side
  int storage_kind;              //  80  1: double precision
  bool use_parameters;           //  84  keep surface parameters
  bool use_view_direction;       //  85  view_direction applies
  double view_direction[3];      //  88
  double silhouette_chord;       // 112
  bool keep_face_tags;           // 120
} UF_FACET_parameters_t;

UF_EXPORT int UF_FACET_ask_default_parameters(UF_FACET_parameters_t* parameters);
// `facet_model` receives the new facet model, or stays as it was when the body
// cannot be faceted.
UF_EXPORT int UF_FACET_facet_solid(tag_t solid, UF_FACET_parameters_t* parameters,
                                   tag_t* facet_model);
UF_EXPORT int UF_FACET_ask_max_facet_verts(tag_t facet_model, int* max_verts);
// facet_id -1 in: the first facet out; after the last facet: -1 again.
UF_EXPORT int UF_FACET_cycle_facets(tag_t facet_model, int* facet_id);
UF_EXPORT int UF_FACET_ask_num_verts_in_facet(tag_t facet_model, int facet_id, int* num_verts);
// `vertices` must have room for the model's largest facet.
UF_EXPORT int UF_FACET_ask_vertices_of_facet(tag_t facet_model, int facet_id, int* num_verts,
                                             double (*vertices)[3]);

// --- libufun: transformations -------------------------------------------

// Matrices are 16 doubles, row by row: rows 0 to 2 hold the rotation and, in
// column 3, the translation; row 3 is 0, 0, 0, 1. A point p goes to M * p.
UF_EXPORT int UF_MTX4_identity(double matrix[16]);
// The rotation by `degrees` about the line through `origin` along `direction`
// (right-hand rule).
UF_EXPORT int UF_MTX4_rotation(double origin[3], double direction[3], double degrees,
                               double matrix[16]);
// Moves (*move_or_copy 1) or copies (2) the objects by the matrix. With 2 the
// copies' tags go to `copies`, which must have room for *count tags. `layer`
// 0 keeps each object's layer; `trace` 2 makes no trace curves, and
// `trace_group` then receives the null tag. `status` receives 0 or the
// failure code.
UF_EXPORT void uf5947_(const double matrix[16], const tag_t* objects, const int* count,
                       const int* move_or_copy, const int* layer, const int* trace,
                       tag_t* copies, tag_t* trace_group, int* status);

// --- libufui: user interface -----------------------------------------------

UF_EXPORT int UF_UI_open_listing_window(void);
UF_EXPORT int UF_UI_write_listing_window(const char* text);

// Menu of `num_items` items of UF_UI_MENU_ITEM_SIZE bytes. Returns 5 + the
// index of the chosen item, UF_UI_BACK, or UF_UI_CANCEL.
UF_EXPORT int uc1603(const char* title, int default_item, char items[][UF_UI_MENU_ITEM_SIZE],
                     int num_items);

// Dialog of `count` labelled real values (var_type 1); the user may edit them
// in place. Returns UF_UI_OK with the edited values in `values`, UF_UI_BACK or
// UF_UI_CANCEL with `values` unchanged.
UF_EXPORT int uc1608(const char* title, char labels[][UF_UI_LABEL_SIZE], int count,
                     int* default_int, double* values, int* var_type);

typedef struct UF_UI_mask_s {
  int object_type;
  int object_subtype;  // -1: any subtype
  int solid_type;      // 0: any
} UF_UI_mask_t;

// Scope of a selection: every body of the open part.
#define UF_UI_SEL_SCOPE_WORK_PART 4

typedef struct UF_UI_selection_options_s {
  int num_mask_triples;
  UF_UI_mask_t* mask_triples;
  int scope;
  int other_options;
  int reserved;
} UF_UI_selection_options_t;

// Interactive selection. `response` receives UF_UI_OK, UF_UI_BACK or
// UF_UI_CANCEL; `count` the number of chosen objects; `objects` an array of
// them in the order picked, owned by the host (valid until the next
// selection). The chosen objects are highlighted.
UF_EXPORT int UF_UI_select_by_class(const char* message, UF_UI_selection_options_t* options,
                                    int* response, int* count, tag_t** objects);
// flag 0: highlight off, 1: on.
UF_EXPORT int UF_DISP_set_highlight(tag_t object, int flag);
