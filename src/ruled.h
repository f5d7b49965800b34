// The minimum-dimension search: vertex cloud, rotated extents, angle search,
// the search log and the turning of model objects.
#pragma once

#include "host/uf.h"
#include "platform/winplat.h"

// The number of facet corners of the model, as the host counts them.
int count_facet_vertices(tag_t facet_model);
// Writes the corners of the model's facets to cloud[start] onwards, facet
// after facet, never more than `count` (what count_facet_vertices gave).
// A facet whose corners the host cannot give in full is left out. Returns
// the number of corners written.
int load_facet_vertices(tag_t facet_model, int start, int count, double (*cloud)[3]);

// Turns the point about the line through the origin along `axis` by `angle`
// radians; the axis is normalised and written back.
void rotate_point(double point[3], double axis[3], double angle);
void rotate_cloud(double angle, double axis[3], int count, double (*cloud)[3]);
void translate_cloud(const double vector[3], int count, double (*cloud)[3]);
// Lower and upper corner of the cloud turned by `angle`; the cloud is read only.
void rotated_extents(double lower[3], double upper[3], double angle, double axis[3], int count,
                     double (*cloud)[3]);
void scan_rotation(double axis[3], double* xy_sum, double lower[3], double upper[3],
                   double* angle, int count, double (*cloud)[3]);
double refine_rotation(double lower[3], double upper[3], double axis[3], double start,
                       int count, double (*cloud)[3], double tolerance);

// The third menu command on the selected bodies.
void search_min_dimensions(const tag_t* objects, int n);

// The path the user chose for the search log; empty when not confirmed.
TextBuffer ask_log_path();

// Turns (code 1) or copies turned (code 2) the objects by `degrees` about the
// line through `origin` along `direction`. With code 2 the copies' tags go to
// *copies, which must have room for `count` tags.
void transform_objects(const tag_t* objects, int count, double direction[3], double degrees,
                       int code, tag_t** copies, double origin[3]);
