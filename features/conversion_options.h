#pragma once

#include "mif/coordinate_system.h"

// What the options of `geovant convert` add to the conversion; none of them is on by default,
// and without any the MIF file is that of the plain export.
struct ConversionOptions {
  bool attributes = false;  // --attributes: a MID file of the placemarks' names, descriptions,
                            // folders and ExtendedData
  bool styles = false;      // --styles: each object with its placemark's KML style
  bool polygons = false;    // --polygons: one Region per Polygon, its holes included
  bool tracks = false;      // --tracks: one Pline per gx:Track, of its gx:coord
  bool multi = false;       // --multi: one object per placemark, of all its geometry
  bool typed = false;       // --typed: Integer, Float and Logical columns from the Schemas
  bool times = false;       // --times: the TimeStamp, TimeBegin and TimeEnd columns
  bool empty_rows = false;  // --empty-rows: a row, of no object, for each placemark without geometry
  bool plain_descriptions = false;  // --plain-descriptions: descriptions without their HTML
  bool links = false;       // --links: the documents a KMZ archive's NetworkLinks name inside it
  // Not part of --all:
  bool description_fields = false;  // --description-fields: columns of the fields a description
                                    // holds (a table of two-cell rows, or "name: value" lines)
  bool altitude = false;    // --altitude: AltitudeMin and AltitudeMax of each object's vertices
  CoordinateSystem crs{};   // --crs: the frame of the MIF file

  // Every option of --all.
  static ConversionOptions All() {
    ConversionOptions all;
    for (bool ConversionOptions::*option :
         {&ConversionOptions::attributes, &ConversionOptions::styles, &ConversionOptions::polygons,
          &ConversionOptions::tracks, &ConversionOptions::multi, &ConversionOptions::typed, &ConversionOptions::times,
          &ConversionOptions::empty_rows, &ConversionOptions::plain_descriptions, &ConversionOptions::links}) {
      all.*option = true;
    }
    return all;
  }

  // Whether a MID file is written: --attributes, or an option about its columns.
  bool Table() const {
    return attributes || typed || times || empty_rows || plain_descriptions || description_fields || altitude;
  }
  bool Any() const {
    return Table() || styles || polygons || tracks || multi || links || crs.kind != CoordinateSystem::Kind::kDefault;
  }
};
