{ Walks a table through Free Pascal's TDbf, a Delphi-style dataset engine of the dBase IV family,
  as the timetabler's own engine would: the table is opened with its production index, every tag
  the index lists is selected in turn and the rows are visited in key order.

  Usage: tdbf_walk FILE.DBF

  Output, one line each:
    tags N NAME...          the tags TDbf found in the production index (N = 0: none)
    tag NAME                a tag selected
    RECNO HEX               a row in key order: physical record number, the tag's field as
                            TDbf reads it from the row (hex of its text, trailing spaces kept
                            off as TDbf gives them)
    end NAME COUNT          rows visited
    loop NAME               the walk did not end after every row had been visited twice
  Exit status 0, or 1 when the table cannot be opened or a walk loops. }
program tdbf_walk;

{$mode objfpc}{$H+}

uses
  SysUtils, Classes, db, dbf;

function Hex(const S: string): string;
var
  I: Integer;
begin
  Result := '';
  for I := 1 to Length(S) do
    Result := Result + IntToHex(Ord(S[I]), 2);
  if Result = '' then
    Result := '-';
end;

var
  Table: TDbf;
  Names: TStringList;
  I, Count, Limit: Integer;
  Line: string;
  Looped: Boolean;
begin
  if ParamCount <> 1 then
  begin
    WriteLn(StdErr, 'usage: tdbf_walk FILE.DBF');
    Halt(2);
  end;
  Looped := False;
  Table := TDbf.Create(nil);
  Names := TStringList.Create;
  try
    try
      Table.FilePathFull := ExtractFilePath(ExpandFileName(ParamStr(1)));
      Table.TableName := ExtractFileName(ParamStr(1));
      Table.ReadOnly := True;
      Table.ShowDeleted := True;  { the index holds deleted rows' keys too }
      Table.Open;
      Table.GetIndexNames(Names);
      Line := 'tags ' + IntToStr(Names.Count);
      for I := 0 to Names.Count - 1 do
        Line := Line + ' ' + Names[I];
      WriteLn(Line);
      Limit := 2 * Table.PhysicalRecordCount + 2;
      for I := 0 to Names.Count - 1 do
      begin
        Table.IndexName := Names[I];
        WriteLn('tag ', Names[I]);
        Count := 0;
        Table.First;
        while not Table.EOF do
        begin
          WriteLn(Table.PhysicalRecNo, ' ', Hex(Table.FieldByName(Names[I]).AsString));
          Inc(Count);
          if Count > Limit then
          begin
            WriteLn('loop ', Names[I]);
            Looped := True;
            Break;
          end;
          Table.Next;
        end;
        WriteLn('end ', Names[I], ' ', Count);
      end;
      Table.Close;
    except
      on E: Exception do
      begin
        WriteLn('error ', E.ClassName, ': ', E.Message);
        Halt(1);
      end;
    end;
  finally
    Names.Free;
    Table.Free;
  end;
  if Looped then
    Halt(1);
end.
